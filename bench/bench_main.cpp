// verimant-bench: speed and CPU figures of the tool's side of the serial link, measured against
// the simulator, one "name: value" line per figure on standard output.

#include "bench/benchmarks.h"
#include "bench/workload.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <map>

using namespace verimant::bench;

namespace {

using Group = std::function<std::optional<GroupRun>(const QString&)>;

// Other work on a shared machine only ever slows a run down, and it comes in bursts: of several
// runs the middle one by wall time stands for the tool, not for the neighbours.
std::optional<GroupRun> medianRun(const Group& group, const QString& portsDir, int repeat) {
    std::vector<GroupRun> runs;
    for (int i = 0; i < repeat; ++i) {
        std::optional<GroupRun> run = group(portsDir);
        if (!run) {
            return std::nullopt;
        }
        runs.push_back(std::move(*run));
    }
    std::sort(runs.begin(), runs.end(),
              [](const GroupRun& a, const GroupRun& b) { return a.wallSeconds < b.wallSeconds; });
    return runs[runs.size() / 2];
}

// The demo set is signed by the published demo key, which the tool does not trust unless told;
// the runs' history, remembered signing times and settings stay in the run's own folder, so a
// bench neither reads nor changes the user's (the local servers' ports repeat, and a pin
// remembered from one run would decide the next).
void prepareEnvironment(const QString& runFolder) {
    QFile demoKey(QStringLiteral(VERIMANT_SOURCE_DIR "/examples/demo-signing-key.DEMO-ONLY.pub"));
    if (demoKey.open(QIODevice::ReadOnly)) {
        QByteArray keys = qgetenv("VERIMANT_TRUSTED_KEYS");
        keys += (keys.isEmpty() ? QByteArray() : QByteArray(",")) + demoKey.readAll().trimmed();
        qputenv("VERIMANT_TRUSTED_KEYS", keys);
    }
    qputenv("XDG_DATA_HOME", QFile::encodeName(runFolder + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(runFolder + QStringLiteral("/config")));
}

}  // namespace

int main(int argc, char** argv) {
    // The start-up figure needs the main window; it never needs a screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("verimant-bench"));

    const std::map<QString, Group> groups{
        {QStringLiteral("transactions"), runTransactionRate},
        {QStringLiteral("efl_1000x128"), runEflashWrites},
        {QStringLiteral("efl_1mib"), runUpdateEfl},
        {QStringLiteral("ftp_fetch"), runFtpFetch},
        {QStringLiteral("serial_base"), runSerialBase},
        {QStringLiteral("startup"), runStartUp},
        {QStringLiteral("upgrade"), runUpgrade},
        {QStringLiteral("parallel_upgrade"), runParallelUpgrade},
        {QStringLiteral("upgrade_8"), runUpgradeAll},
        {QStringLiteral("config"), runConfigListing},
    };
    const QStringList order{QStringLiteral("transactions"), QStringLiteral("efl_1000x128"),
                            QStringLiteral("efl_1mib"),     QStringLiteral("ftp_fetch"),
                            QStringLiteral("serial_base"),  QStringLiteral("startup"),
                            QStringLiteral("upgrade"),      QStringLiteral("parallel_upgrade"),
                            QStringLiteral("upgrade_8"),    QStringLiteral("config")};

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Speed and CPU figures of the serial link against verimant-sim, which must "
                       "lie next to this program."));
    parser.addHelpOption();
    const QCommandLineOption repeatOption(
        QStringLiteral("repeat"),
        QStringLiteral(
            "Run each group n times and report the run of median wall time (default 1)."),
        QStringLiteral("n"), QStringLiteral("1"));
    parser.addOption(repeatOption);
    const QCommandLineOption smokeOption(
        QStringLiteral("smoke"),
        QStringLiteral("Run the groups on a tiny workload, unpaced, in about a minute, and fail "
                       "when a figure is not a finite number. The figures mean nothing."));
    parser.addOption(smokeOption);
    parser.addPositionalArgument(
        QStringLiteral("group"),
        QStringLiteral("Groups to run (default all): ") + order.join(QStringLiteral(", ")),
        QStringLiteral("[group...]"));
    parser.process(app);
    bool repeatOk = false;
    const int repeat = parser.value(repeatOption).toInt(&repeatOk);
    if (!repeatOk || repeat < 1) {
        printProblem(QStringLiteral("--repeat takes a count of at least 1"));
        return 2;
    }
    setSmokeRun(parser.isSet(smokeOption));
    QStringList chosen = parser.positionalArguments();
    if (chosen.isEmpty()) {
        chosen = order;
    }
    for (const QString& name : chosen) {
        if (groups.count(name) == 0) {
            printProblem(QStringLiteral("no benchmark group ") + name);
            return 2;
        }
    }

    // The simulator's COM links live here, and the tool finds its port here.
    QTemporaryDir portsDir;
    if (!portsDir.isValid()) {
        printProblem(QStringLiteral("no temporary folder for the ports"));
        return 1;
    }
    qputenv("VERIMANT_PORTS_DIR", QFile::encodeName(portsDir.path()));
    prepareEnvironment(portsDir.path());

    for (const QString& name : chosen) {
        const std::optional<GroupRun> run = medianRun(groups.at(name), portsDir.path(), repeat);
        if (!run) {
            return 1;
        }
        printFigures(*run);
        if (!figuresFinite(*run)) {
            return 1;
        }
    }
    return 0;
}
