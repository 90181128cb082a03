#include "bench/benchmarks.h"
#include "bench/faults/served_set.h"
#include "bench/sim_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <memory>
#include <vector>

namespace verimant::bench {

namespace {

constexpr int kFirstPort = 41;
constexpr int kInstruments = 8;
constexpr int kUpgradeLimitMs = 600000;

// Paced simulated instruments on `count` ports and one verimant-cli run with `arguments`; the
// wall time until it has finished, or nothing when it failed.
std::optional<double> timedUpgrade(const QString& portsDir, int count,
                                   const QStringList& arguments) {
    QString why;
    const std::vector<std::unique_ptr<SimProcess>> sims =
        startPacedInstruments(portsDir, kFirstPort, count, &why);
    if (sims.empty()) {
        printProblem(why);
        return std::nullopt;
    }
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer wall;
    wall.start();
    run.start(QCoreApplication::applicationDirPath() + QStringLiteral("/verimant-cli"),
              arguments + QStringList{QStringLiteral("--packet"), QStringLiteral("RU_EN"),
                                      QStringLiteral("--language"), QStringLiteral("RUS"),
                                      QStringLiteral("--yes")});
    run.closeWriteChannel();
    const bool written = run.waitForFinished(kUpgradeLimitMs) && run.exitCode() == 0;
    const double seconds = double(wall.elapsed()) / 1000.0;
    if (!written) {
        printProblem(QStringLiteral("verimant-cli %1 failed: %2")
                         .arg(arguments.join(QLatin1Char(' ')),
                              QString::fromUtf8(run.readAll().right(2000))));
    }
    for (const auto& sim : sims) {
        sim->stop(&why);
    }
    return written ? std::optional(seconds) : std::nullopt;
}

}  // namespace

std::optional<GroupRun> runUpgradeAll(const QString& portsDir) {
    QString why;
    const auto server =
        faults::serveDemoSet(portsDir + QStringLiteral("/upgrade-all-server"), &why);
    if (!server) {
        printProblem(why);
        return std::nullopt;
    }
    const std::optional<double> one = timedUpgrade(
        portsDir, 1,
        {QStringLiteral("upgrade"), QStringLiteral("--port"), QString::number(kFirstPort)});
    if (!one) {
        return std::nullopt;
    }
    const std::optional<double> all =
        timedUpgrade(portsDir, kInstruments, {QStringLiteral("upgrade"), QStringLiteral("--all")});
    if (!all) {
        return std::nullopt;
    }
    return GroupRun{*all,
                    {
                        {"upgrade_8_one_seconds", *one, 3},
                        {"upgrade_8_all_seconds", *all, 3},
                        {"bench_upgrade_8", *all / *one, 3},
                    }};
}

}  // namespace verimant::bench
