#pragma once

#include <chrono>

namespace verimant::bench {

// Wall time and this process's CPU time (every thread, user and system) between start and stop.
// The simulator runs as a process of its own, so the CPU time is the tool's alone.
struct SpanFigures {
    double wallSeconds = 0;
    double cpuSeconds = 0;
};

class MeasuredSpan {
public:
    void start();
    SpanFigures stop() const;

private:
    std::chrono::steady_clock::time_point wallStart_{};
    double cpuStart_ = 0;
};

}  // namespace verimant::bench
