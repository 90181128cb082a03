#pragma once

#include <cstdint>

namespace verimant {

// Milliseconds from an arbitrary start, never going backwards.
std::int64_t tickCountMs();

}  // namespace verimant
