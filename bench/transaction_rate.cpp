#include "bench/benchmarks.h"
#include "bench/simulated_run.h"
#include "bench/tool_link.h"
#include "bench/workload.h"

#include <cstdint>

namespace verimant::bench {

namespace {

constexpr int kPort = 11;
constexpr int kWarmUp = 200;
int transactionCount() {
    return sized(20000, 500);
}
constexpr int kReadLength = 16;

bool oneTransaction(ToolLink& tool, std::uint32_t readAddress, int index) {
    if (index % 2 == 0) {
        return tool.protocol().testConnection(QByteArrayLiteral("Tarvelon"), false) == 1;
    }
    std::uint8_t buffer[kReadLength];
    return tool.commands().readMemory(readAddress, buffer, kReadLength, false) == kReadLength;
}

bool runTransactions(ToolLink& tool, std::uint32_t readAddress, int count) {
    for (int i = 0; i < count; ++i) {
        if (!oneTransaction(tool, readAddress, i)) {
            printProblem(QStringLiteral("transaction %1 failed").arg(i));
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<GroupRun> runTransactionRate(const QString& portsDir) {
    std::uint32_t readAddress = 0;
    // The memory reads go to the platform description, 48 readable bytes. Reading the program
    // information that tells where it lies is one request more.
    const auto prepare = [&](ToolLink& tool) {
        if (!tool.commands().readProgramInfo(nullptr, false) ||
            tool.commands().programInfo().platformDescriptionAddress == 0) {
            printProblem(QStringLiteral("the program information cannot be read"));
            return false;
        }
        readAddress = tool.commands().programInfo().platformDescriptionAddress;
        return runTransactions(tool, readAddress, kWarmUp);
    };
    const auto work = [&](ToolLink& tool) {
        return runTransactions(tool, readAddress, transactionCount());
    };
    const std::optional<SimulatedRun> measured =
        measureAgainstSimulator(portsDir, kPort, false, work, prepare);
    if (!measured) {
        return std::nullopt;
    }
    // A resent request would make the rate look better than the work done.
    if (measured->counts.framesReceived != 1 + kWarmUp + transactionCount()) {
        printProblem(QStringLiteral("the simulator saw %1 requests for %2 transactions")
                         .arg(measured->counts.framesReceived)
                         .arg(1 + kWarmUp + transactionCount()));
        return std::nullopt;
    }
    const SpanFigures& figures = measured->figures;
    GroupRun run{figures.wallSeconds,
                 {
                     {"transactions_per_second", transactionCount() / figures.wallSeconds, 0},
                     {"tool_cpu_seconds_per_1000_transactions",
                      figures.cpuSeconds * 1000.0 / transactionCount(), 4},
                 }};
    return run;
}

}  // namespace verimant::bench
