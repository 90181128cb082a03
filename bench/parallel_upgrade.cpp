#include "bench/benchmarks.h"
#include "bench/faults/served_set.h"
#include "bench/sim_process.h"
#include "bench/workload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <memory>
#include <vector>

namespace verimant::bench {

namespace {

constexpr int kFirstPort = 21;
constexpr int kFour = 4;
constexpr int kEight = 8;
constexpr int kUpgradeLimitMs = 300000;

// verimant-cli upgrade of the demo set on each port at once; the wall time until the last one has
// finished, or nothing when one of them failed.
std::optional<double> upgradeAtOnce(const QString& portsDir, int count) {
    QString why;
    const std::vector<std::unique_ptr<SimProcess>> sims =
        startPacedInstruments(portsDir, kFirstPort, count, &why);
    if (sims.empty()) {
        printProblem(why);
        return std::nullopt;
    }
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/verimant-cli");
    std::vector<std::unique_ptr<QProcess>> runs;
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < count; ++i) {
        auto run = std::make_unique<QProcess>();
        run->setProcessChannelMode(QProcess::MergedChannels);
        run->start(cli, {QStringLiteral("upgrade"), QStringLiteral("--port"),
                         QString::number(kFirstPort + i), QStringLiteral("--packet"),
                         QStringLiteral("RU_EN"), QStringLiteral("--language"),
                         QStringLiteral("RUS"), QStringLiteral("--yes")});
        run->closeWriteChannel();
        runs.push_back(std::move(run));
    }
    bool allWritten = true;
    for (const auto& run : runs) {
        if (!run->waitForFinished(kUpgradeLimitMs) || run->exitCode() != 0) {
            printProblem(QStringLiteral("verimant-cli upgrade failed: ") +
                         QString::fromUtf8(run->readAll().right(2000)));
            allWritten = false;
        }
    }
    const double seconds = double(wall.elapsed()) / 1000.0;
    for (const auto& sim : sims) {
        sim->stop(&why);
    }
    return allWritten ? std::optional(seconds) : std::nullopt;
}

}  // namespace

std::optional<GroupRun> runParallelUpgrade(const QString& portsDir) {
    QString why;
    const auto server = faults::serveDemoSet(portsDir + QStringLiteral("/parallel-server"), &why);
    if (!server) {
        printProblem(why);
        return std::nullopt;
    }
    const std::optional<double> alone = upgradeAtOnce(portsDir, 1);
    if (!alone) {
        return std::nullopt;
    }
    // The smoke run only shows that several at once still work.
    const std::optional<double> four = upgradeAtOnce(portsDir, sized(kFour, 2));
    if (!four) {
        return std::nullopt;
    }
    const std::optional<double> eight = upgradeAtOnce(portsDir, sized(kEight, 2));
    if (!eight) {
        return std::nullopt;
    }
    return GroupRun{*four + *eight,
                    {
                        {"parallel_upgrade_one_seconds", *alone, 3},
                        {"parallel_upgrade_four_seconds", *four, 3},
                        {"parallel_upgrade", *four / *alone, 3},
                        {"parallel_upgrade_eight_seconds", *eight, 3},
                        {"parallel_upgrade_8", *eight / *alone, 3},
                    }};
}

}  // namespace verimant::bench
