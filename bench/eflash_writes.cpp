#include "bench/bench_data.h"
#include "bench/benchmarks.h"
#include "bench/measured_span.h"
#include "bench/sim_process.h"
#include "bench/tool_link.h"

#include <vector>

namespace verimant::bench {

namespace {

constexpr int kPort = 12;
constexpr int kWrites = 1000;
constexpr int kChunk = 128;
constexpr int kSector = 4096;

// Every sector is erased before its first write, as the external-flash writer does.
bool writeAll(DeviceCommands& commands, const QByteArray& data) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData());
    std::vector<bool> erased(std::size_t(data.size() / kSector + 1), false);
    for (int offset = 0; offset < data.size(); offset += kChunk) {
        const auto address = std::uint32_t(offset);
        const std::size_t sector = std::size_t(offset / kSector);
        if (!erased[sector]) {
            if (!commands.eraseEflashSector4K(address, false)) {
                printProblem(QStringLiteral("erasing at %1 failed").arg(offset));
                return false;
            }
            erased[sector] = true;
        }
        if (!commands.writeEflash(address, bytes + offset, kChunk, false)) {
            printProblem(QStringLiteral("writing at %1 failed").arg(offset));
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<GroupRun> runEflashWrites(const QString& portsDir) {
    const QByteArray data = benchData(kWrites * kChunk, 0x5EED0128);
    SimProcess sim(portsDir, kPort, true);
    ToolLink tool;
    QString error;
    if (!sim.start(&error) || !tool.open(kPort, &error)) {
        printProblem(error);
        return std::nullopt;
    }
    MeasuredSpan span;
    span.start();
    if (!writeAll(tool.commands(), data)) {
        return std::nullopt;
    }
    const SpanFigures figures = span.stop();
    tool.protocol().close();
    // The simulator's counts cover exactly the requests above and their answers.
    const auto counts = sim.stop(&error);
    if (!counts) {
        printProblem(error);
        return std::nullopt;
    }
    const double ideal = wireSeconds(*counts);
    GroupRun run{figures.wallSeconds,
                 {
                     {"efl_1000x128_achieved_seconds", figures.wallSeconds, 3},
                     {"efl_1000x128_ideal_wire_seconds", ideal, 3},
                     {"efl_1000x128_ratio", figures.wallSeconds / ideal, 3},
                     {"efl_1000x128_tool_cpu_seconds", figures.cpuSeconds, 3},
                 }};
    return run;
}

}  // namespace verimant::bench
