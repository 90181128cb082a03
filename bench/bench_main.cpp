// verimant-bench: speed and CPU figures of the tool's side of the serial link, measured against
// the simulator, one "name: value" line per figure on standard output.

#include "bench/benchmarks.h"
#include "bench/figure_output.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <functional>
#include <map>

using namespace verimant::bench;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("verimant-bench"));

    const std::map<QString, std::function<bool(const QString&)>> groups{
        {QStringLiteral("transactions"), runTransactionRate},
        {QStringLiteral("efl_1000x128"), runEflashWrites},
    };
    const QStringList order{QStringLiteral("transactions"), QStringLiteral("efl_1000x128")};

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Speed and CPU figures of the serial link against verimant-sim, which must "
                       "lie next to this program."));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("group"),
        QStringLiteral("Groups to run (default all): ") + order.join(QStringLiteral(", ")),
        QStringLiteral("[group...]"));
    parser.process(app);
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

    for (const QString& name : chosen) {
        if (!groups.at(name)(portsDir.path())) {
            return 1;
        }
    }
    return 0;
}
