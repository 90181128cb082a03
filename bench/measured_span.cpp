#include "bench/measured_span.h"

#include <sys/resource.h>

namespace verimant::bench {

namespace {

double seconds(const timeval& value) {
    return double(value.tv_sec) + double(value.tv_usec) / 1e6;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

void MeasuredSpan::start() {
    cpuStart_ = processCpuSeconds();
    wallStart_ = std::chrono::steady_clock::now();
}

SpanFigures MeasuredSpan::stop() const {
    const auto wallEnd = std::chrono::steady_clock::now();
    SpanFigures figures;
    figures.cpuSeconds = processCpuSeconds() - cpuStart_;
    figures.wallSeconds = std::chrono::duration<double>(wallEnd - wallStart_).count();
    return figures;
}

}  // namespace verimant::bench
