#include "bench/simulated_run.h"

#include "bench/figure_output.h"
#include "bench/tool_link.h"

namespace verimant::bench {

std::optional<SimulatedRun> measureAgainstSimulator(const QString& portsDir, int port, bool paced,
                                                    const std::function<bool(ToolLink&)>& work,
                                                    const std::function<bool(ToolLink&)>& prepare) {
    SimProcess sim(portsDir, port, paced);
    ToolLink tool;
    QString error;
    if (!sim.start(&error) || !tool.open(port, &error)) {
        printProblem(error);
        return std::nullopt;
    }
    if (prepare && !prepare(tool)) {
        return std::nullopt;
    }
    MeasuredSpan span;
    span.start();
    const bool done = work(tool);
    const SpanFigures figures = span.stop();
    tool.protocol().close();
    // The simulator's counts cover the whole run: the preparation and the work with their answers.
    const std::optional<LineCounts> counts = sim.stop(&error);
    if (!done) {
        return std::nullopt;
    }
    if (!counts) {
        printProblem(error);
        return std::nullopt;
    }
    return SimulatedRun{figures, *counts};
}

}  // namespace verimant::bench
