#include "bench/bench_data.h"
#include "bench/benchmarks.h"
#include "bench/blocking_floor.h"
#include "bench/simulated_run.h"
#include "bench/tool_link.h"
#include "bench/workload.h"

#include <vector>

namespace verimant::bench {

namespace {

constexpr int kPort = 12;
int writeCount() {
    return sized(1000, 64);
}
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
    const QByteArray data = benchData(writeCount() * kChunk, 0x5EED0128);
    const std::optional<SimulatedRun> measured = measureAgainstSimulator(
        portsDir, kPort, true, [&](ToolLink& tool) { return writeAll(tool.commands(), data); });
    if (!measured) {
        return std::nullopt;
    }
    const std::optional<SpanFigures> floor = blockingEflashWrites(portsDir, kPort, data);
    if (!floor) {
        return std::nullopt;
    }
    const SpanFigures& figures = measured->figures;
    const double ideal = wireSeconds(measured->counts);
    GroupRun run{figures.wallSeconds,
                 {
                     {"efl_1000x128_achieved_seconds", figures.wallSeconds, 3},
                     {"efl_1000x128_ideal_wire_seconds", ideal, 3},
                     {"efl_1000x128_ratio", figures.wallSeconds / ideal, 3},
                     {"efl_1000x128_tool_cpu_seconds", figures.cpuSeconds, 3},
                     {"efl_1000x128_floor_seconds", floor->wallSeconds, 3},
                     {"efl_1000x128_floor_to_wire_ratio", floor->wallSeconds / ideal, 3},
                     {"efl_1000x128_ratio_to_floor", figures.wallSeconds / floor->wallSeconds, 3},
                 }};
    return run;
}

}  // namespace verimant::bench
