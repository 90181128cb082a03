#pragma once

#include "bench/measured_span.h"
#include "bench/sim_process.h"

#include <QString>

#include <functional>
#include <optional>

namespace verimant::bench {

class ToolLink;

// What one measured piece of work cost, and what crossed the simulated line for the whole run.
struct SimulatedRun {
    SpanFigures figures;
    LineCounts counts;
};

// Starts verimant-sim on COM `port` in `portsDir`, opens the tool on it, runs `prepare` without
// measuring and then `work` measured, and stops both. Nothing, with the reason on standard error,
// when any step fails.
std::optional<SimulatedRun> measureAgainstSimulator(
    const QString& portsDir, int port, bool paced, const std::function<bool(ToolLink&)>& work,
    const std::function<bool(ToolLink&)>& prepare = {});

}  // namespace verimant::bench
