#include "base/activity_log.h"
#include "base/user_dialogs.h"
#include "bench/benchmarks.h"
#include "bench/faults/fault_operator.h"
#include "bench/faults/served_set.h"
#include "bench/faults/start_up_files.h"
#include "bench/measured_span.h"
#include "bench/sim_process.h"
#include "bench/tool_link.h"
#include "link/settings_block.h"
#include "platform/monotonic_clock.h"
#include "tests/support/ftp_test_server.h"
#include "update/update_run.h"
#include "update/upgrade_workflow.h"

#include <QTemporaryDir>

namespace verimant::bench {

namespace {

constexpr int kPort = 14;
constexpr int kBaudRate = 230400;

// Time from each restart request until the first request to the restarted instrument: the
// simulator's restart delay, the tool's fixed pauses around it and its search for the instrument.
class RestartClock {
public:
    explicit RestartClock(ActivityLog& log) {
        QObject::connect(&log, &ActivityLog::lineAppended, [this](const QString& line) {
            if (line.startsWith(QStringLiteral("==>Device_goto_BOOT")) ||
                line.startsWith(QStringLiteral("==>Device_GoTo_KMT2"))) {
                startedMs_ = tickCountMs();
            } else if (line == QLatin1String("==>Device_Is_Booter_Or_KMT2") && startedMs_ >= 0) {
                totalMs_ += tickCountMs() - startedMs_;
                startedMs_ = -1;
            }
        });
    }
    double seconds() const { return double(totalMs_) / 1000.0; }

private:
    std::int64_t startedMs_ = -1;
    std::int64_t totalMs_ = 0;
};

// What one upgrade cost, and what crossed the simulated line meanwhile.
struct UpgradeFigures {
    SpanFigures span;
    double idealWire = 0;
    double restartSeconds = 0;
};

// One measured upgrade, or nothing (with the reason on standard error).
std::optional<UpgradeFigures> upgradeOnce(const QString& portsDir, const WriteOptions& options) {
    const QString served = portsDir + QStringLiteral("/upgrade-server");
    QTemporaryDir toolFolder;
    if (!faults::copyDemoSet(served) || !toolFolder.isValid()) {
        printProblem(QStringLiteral("cannot prepare the demo update set in ") + served);
        return std::nullopt;
    }
    test::FtpTestServer server(served);
    SimProcess sim(portsDir, kPort, true);
    QString why;
    if (!server.start(&why) || !sim.start(&why)) {
        printProblem(why);
        return std::nullopt;
    }
    ToolLink tool;
    UpdateRun run(tool.log(), *parseServerAddress(server.url()));
    // What start-up fetches is not measured.
    if (!faults::fetchStartUpFiles(run, toolFolder.path(), &why)) {
        printProblem(QStringLiteral("the demo set could not be fetched from the local server: ") +
                     why);
        return std::nullopt;
    }
    if (!tool.watchPort(kPort)) {
        printProblem(QStringLiteral("the simulator does not answer"));
        return std::nullopt;
    }
    // The fault runs' operator: the first packet, Yes to the consent, Russian on the instrument.
    faults::FaultOperator answers;
    installUserDialogs(&answers);
    SettingsBlock settings;
    UpgradeParts parts{tool.session(), settings, run, answers, answers, answers, {}, options};
    RestartClock restarts(tool.log());
    tool.connectionTimer().start();
    MeasuredSpan span;
    span.start();
    const UpgradeOutcome outcome = runUpgradeWorkflow(parts);
    const SpanFigures figures = span.stop();
    tool.connectionTimer().stop();
    tool.protocol().close();
    installUserDialogs(nullptr);
    const std::optional<LineCounts> counts = sim.stop(&why);
    if (outcome != UpgradeOutcome::Written || !counts) {
        printProblem(QStringLiteral("the upgrade did not complete: ") +
                     answers.errors.join(QStringLiteral("; ")) + why);
        return std::nullopt;
    }
    return UpgradeFigures{figures, wireSeconds(*counts, kBaudRate), restarts.seconds()};
}

}  // namespace

std::optional<GroupRun> runUpgrade(const QString& portsDir) {
    const std::optional<UpgradeFigures> everyChunk =
        upgradeOnce(portsDir, {.verify = false, .writeAll = true});
    if (!everyChunk) {
        return std::nullopt;
    }
    const std::optional<UpgradeFigures> sparse = upgradeOnce(portsDir, {.verify = false});
    if (!sparse) {
        return std::nullopt;
    }
    // The default upgrade: every byte both writes covered read back.
    const std::optional<UpgradeFigures> verified = upgradeOnce(portsDir, {.verify = true});
    if (!verified) {
        return std::nullopt;
    }
    const double seconds = sparse->span.wallSeconds;
    return GroupRun{
        seconds,
        {
            {"upgrade_write_all_seconds", everyChunk->span.wallSeconds, 3},
            {"upgrade_seconds", seconds, 3},
            {"upgrade_to_write_all_ratio", seconds / everyChunk->span.wallSeconds, 3},
            {"upgrade_write_all_ideal_wire_seconds", everyChunk->idealWire, 3},
            {"upgrade_ideal_wire_seconds", sparse->idealWire, 3},
            {"upgrade_restart_seconds", sparse->restartSeconds, 3},
            {"upgrade_ratio", (seconds - sparse->restartSeconds) / sparse->idealWire, 3},
            {"upgrade_tool_cpu_seconds", sparse->span.cpuSeconds, 3},
            {"upgrade_verify_seconds", verified->span.wallSeconds, 3},
            {"upgrade_verify_ratio", verified->span.wallSeconds / seconds, 3},
        }};
}

}  // namespace verimant::bench
