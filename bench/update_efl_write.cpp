#include "bench/bench_data.h"
#include "bench/benchmarks.h"
#include "bench/simulated_run.h"
#include "bench/tool_link.h"
#include "bench/workload.h"
#include "device/update_efl.h"

#include <QFile>

namespace verimant::bench {

namespace {

constexpr int kPort = 13;
int fileSize() {
    return sized(1024 * 1024, 16 * 1024);
}
constexpr int kChunk = 128;

bool writeDataFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

// Every other chunk erased state: as much to leave out as to send, spread over every sector.
QByteArray halfErased(QByteArray data) {
    for (qsizetype offset = kChunk; offset < data.size(); offset += 2 * kChunk) {
        data.replace(offset, kChunk, QByteArray(kChunk, char(0xFF)));
    }
    return data;
}

// Everything Update_EFL does counts: the mode query, the screen texts, erases and writes.
std::optional<SimulatedRun> timedUpdate(const QString& portsDir, const QString& path,
                                        const WriteOptions& options) {
    return measureAgainstSimulator(portsDir, kPort, true, [&](ToolLink& tool) {
        if (Update_EFL(tool.session(), path, options)) {
            return true;
        }
        printProblem(QStringLiteral("Update_EFL failed on ") + path);
        return false;
    });
}

}  // namespace

std::optional<GroupRun> runUpdateEfl(const QString& portsDir) {
    const QString path = portsDir + QStringLiteral("/efl-1mib.bin");
    const QString sparsePath = portsDir + QStringLiteral("/efl-1mib-half-erased.bin");
    const QByteArray data = benchData(fileSize(), 0x5EED1D1B);
    if (!writeDataFile(path, data) || !writeDataFile(sparsePath, halfErased(data))) {
        printProblem(QStringLiteral("cannot write the data files into ") + portsDir);
        return std::nullopt;
    }
    const std::optional<SimulatedRun> measured = timedUpdate(portsDir, path, {.verify = false});
    if (!measured) {
        return std::nullopt;
    }
    const std::optional<SimulatedRun> verified = timedUpdate(portsDir, path, {.verify = true});
    const std::optional<SimulatedRun> sparse = timedUpdate(portsDir, sparsePath, {.verify = false});
    if (!verified || !sparse) {
        return std::nullopt;
    }
    const SpanFigures& figures = measured->figures;
    const double ideal = wireSeconds(measured->counts);
    const double mebibytes = double(fileSize()) / (1024.0 * 1024.0);
    GroupRun run{
        figures.wallSeconds,
        {
            {"efl_1mib_achieved_seconds", figures.wallSeconds, 3},
            {"efl_1mib_ideal_wire_seconds", ideal, 3},
            {"efl_1mib_ratio", figures.wallSeconds / ideal, 3},
            {"efl_1mib_tool_cpu_seconds_per_mib", figures.cpuSeconds / mebibytes, 3},
            {"efl_1mib_verify_seconds", verified->figures.wallSeconds, 3},
            {"efl_1mib_verify_ratio", verified->figures.wallSeconds / figures.wallSeconds, 3},
            {"efl_sparse_1mib_seconds", sparse->figures.wallSeconds, 3},
            {"efl_sparse_1mib_ratio", sparse->figures.wallSeconds / figures.wallSeconds, 3},
        }};
    return run;
}

}  // namespace verimant::bench
