#include "bench/bench_data.h"
#include "bench/benchmarks.h"
#include "bench/simulated_run.h"
#include "bench/tool_link.h"
#include "device/update_efl.h"

#include <QFile>

namespace verimant::bench {

namespace {

constexpr int kPort = 13;
constexpr int kFileSize = 1024 * 1024;

bool writeDataFile(const QString& path) {
    const QByteArray data = benchData(kFileSize, 0x5EED1D1B);
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

}  // namespace

std::optional<GroupRun> runUpdateEfl(const QString& portsDir) {
    const QString path = portsDir + QStringLiteral("/efl-1mib.bin");
    if (!writeDataFile(path)) {
        printProblem(QStringLiteral("cannot write ") + path);
        return std::nullopt;
    }
    // Everything Update_EFL does counts: the mode query, the screen texts, erases and writes.
    const std::optional<SimulatedRun> measured =
        measureAgainstSimulator(portsDir, kPort, true, [&](ToolLink& tool) {
            if (Update_EFL(tool.session(), path)) {
                return true;
            }
            printProblem(QStringLiteral("Update_EFL failed"));
            return false;
        });
    if (!measured) {
        return std::nullopt;
    }
    const SpanFigures& figures = measured->figures;
    const double ideal = wireSeconds(measured->counts);
    const double mebibytes = double(kFileSize) / (1024.0 * 1024.0);
    GroupRun run{figures.wallSeconds,
                 {
                     {"efl_1mib_achieved_seconds", figures.wallSeconds, 3},
                     {"efl_1mib_ideal_wire_seconds", ideal, 3},
                     {"efl_1mib_ratio", figures.wallSeconds / ideal, 3},
                     {"efl_1mib_tool_cpu_seconds_per_mib", figures.cpuSeconds / mebibytes, 3},
                 }};
    return run;
}

}  // namespace verimant::bench
