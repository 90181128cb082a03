#pragma once

#include <chrono>

namespace verimant::sim {

// Keeps answers from leaving faster than a real serial line would carry them. Received bytes
// occupy the line from the moment they arrive, one byte-time each, and an answer can start only
// once the request that caused it has fully arrived; its bytes then take their own time. Holding
// each answer until its last byte would have left makes a request/answer exchange cost the same
// as on the wire.
class WirePacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit WirePacer(int baudRate = 230400, int bitsPerByte = 10);

    std::chrono::nanoseconds byteTime() const { return byteTime_; }
    std::chrono::nanoseconds wireTime(long long bytes) const { return byteTime_ * bytes; }

    // One received byte, seen at `now`.
    void received(Clock::time_point now);
    // The time at which an answer of `bytes` bytes, ready at `now`, has completely left.
    Clock::time_point answerDone(Clock::time_point now, long long bytes);
    // Forget the line's history (a new connection).
    void reset();

private:
    std::chrono::nanoseconds byteTime_;
    Clock::time_point receiveDone_{};
    Clock::time_point sendDone_{};
};

}  // namespace verimant::sim
