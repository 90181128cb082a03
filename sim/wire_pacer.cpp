#include "sim/wire_pacer.h"

#include <algorithm>

namespace verimant::sim {

WirePacer::WirePacer(int baudRate, int bitsPerByte)
    : byteTime_(std::chrono::nanoseconds(1'000'000'000LL * bitsPerByte / baudRate)) {}

void WirePacer::received(Clock::time_point now) {
    receiveDone_ = std::max(now, receiveDone_) + byteTime_;
}

WirePacer::Clock::time_point WirePacer::answerDone(Clock::time_point now, long long bytes) {
    const Clock::time_point start = std::max({now, receiveDone_, sendDone_});
    sendDone_ = start + wireTime(bytes);
    return sendDone_;
}

void WirePacer::reset() {
    receiveDone_ = {};
    sendDone_ = {};
}

}  // namespace verimant::sim
