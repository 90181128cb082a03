#include "platform/monotonic_clock.h"

#include <chrono>

namespace verimant {

std::int64_t tickCountMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace verimant
