// verimant-faults: the whole upgrade (a small update set from a local FTP server into the
// simulator) under faults. "sweep" pulls the cable after every request in turn, plugs the
// instrument back in and runs the upgrade again; "lossy" runs it on a line that loses and damages
// answers. Both compare the simulator's saved flashes byte for byte with what was meant to be
// written, and its display language with the one chosen, print "name: value" figures on standard
// output and one line per run on standard error, and exit 1 when a goal is missed.

#include "bench/faults/fault_runs.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

using namespace verimant::faults;

namespace {

void figure(const char* name, double value, int decimals = 0) {
    std::printf("%s: %.*f\n", name, decimals, value);
    std::fflush(stdout);
}

void note(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

// A cut run that reported success is worth a word: right only when the cut spared everything.
QString cutRunVerdict(const CutPointResult& point) {
    if (!point.cutRun.success()) {
        return {};
    }
    return point.cutRunDifference.isEmpty()
               ? QStringLiteral(" (the cut run reported success, byte-exact)")
               : QStringLiteral(" (FALSE SUCCESS: the cut run reported success, but ") +
                     point.cutRunDifference + ')';
}

int sweep(const FaultSetup& setup, int first, int every) {
    QString error;
    const std::optional<int> requests = cleanRunRequests(setup, &error);
    if (!requests) {
        note(error);
        return 1;
    }
    note(QStringLiteral("uninterrupted run: %1 requests, byte-exact").arg(*requests));
    SweepFigures figures;
    for (int cut = first; cut <= *requests; cut += every) {
        const CutPointResult point = runCutPoint(setup, cut);
        figures.add(point);
        note(QStringLiteral("cut after request %1/%2: ").arg(cut).arg(*requests) +
             (point.recovered() ? QStringLiteral("recovered byte-exact")
                                : QStringLiteral("NOT RECOVERED: ") + point.problem) +
             cutRunVerdict(point));
    }
    figure("sweep_requests_per_run", *requests);
    figure("sweep_cut_points", figures.cutPoints);
    figure("sweep_recovered", figures.recovered);
    figure("sweep_not_recovered", figures.notRecovered);
    figure("sweep_false_successes", figures.falseSuccesses);
    figure("sweep_cut_runs_reported_success", figures.cutRunsReportedSuccess);
    figure("sweep_untruthful_readouts", figures.untruthfulReadouts);
    for (const QString& reason : figures.notRecoveredReasons) {
        note(QStringLiteral("not recovered: ") + reason);
    }
    return figures.goalMet() ? 0 : 1;
}

int lossy(const FaultSetup& setup, int runs, std::uint32_t seed, double drop, double corrupt) {
    LossyFigures figures;
    for (int i = 0; i < runs; ++i) {
        const LossyRunResult run = runLossyUpgrade(setup, drop, corrupt, seed + std::uint32_t(i));
        figures.add(run);
        note(QStringLiteral("run %1/%2 (fault seed %3, %6 answers lost, %7 damaged): %4, %5")
                 .arg(i + 1)
                 .arg(runs)
                 .arg(seed + std::uint32_t(i))
                 .arg(run.outcome.success() ? QStringLiteral("reported success")
                                            : QStringLiteral("reported failure"))
                 .arg(run.byteExact() ? QStringLiteral("byte-exact")
                                      : QStringLiteral("not as meant: ") + run.difference)
                 .arg(run.answersLost)
                 .arg(run.answersDamaged) +
             (run.problem.isEmpty() ? QString() : QStringLiteral(" (") + run.problem + ')'));
    }
    figure("lossy_runs", figures.runs);
    figure("lossy_answer_loss_share", drop, 3);
    figure("lossy_answer_damage_share", corrupt, 3);
    figure("lossy_answers_lost", figures.answersLost);
    figure("lossy_answers_damaged", figures.answersDamaged);
    figure("lossy_byte_exact", figures.byteExact);
    figure("lossy_byte_exact_share", figures.exactShare(), 3);
    figure("lossy_reported_failures", figures.reportedFailures);
    figure("lossy_exact_but_reported_failed", figures.exactButReportedFailed);
    figure("lossy_false_successes", figures.falseSuccesses);
    return figures.falseSuccesses == 0 && figures.exactShare() >= 0.96 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("verimant-faults"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The whole upgrade of a small update set, from a local FTP server into the simulator, "
        "under faults, checked byte for byte."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("run"), QStringLiteral("sweep or lossy"));
    const QCommandLineOption every(QStringLiteral("every"),
                                   QStringLiteral("sweep: every n-th cut point (default 1)."),
                                   QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption first(QStringLiteral("first"),
                                   QStringLiteral("sweep: the first cut point (default 1)."),
                                   QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption runs(QStringLiteral("runs"),
                                  QStringLiteral("lossy: upgrades (default 50)."),
                                  QStringLiteral("n"), QStringLiteral("50"));
    const QCommandLineOption seed(
        QStringLiteral("seed"),
        QStringLiteral("Seed of the update set and the faults (default 1)."), QStringLiteral("n"),
        QStringLiteral("1"));
    const QCommandLineOption drop(QStringLiteral("drop-share"),
                                  QStringLiteral("lossy: share of answers lost (default 0.01)."),
                                  QStringLiteral("x"), QStringLiteral("0.01"));
    const QCommandLineOption corrupt(
        QStringLiteral("corrupt-share"),
        QStringLiteral("lossy: share of answers damaged (default 0.005)."), QStringLiteral("x"),
        QStringLiteral("0.005"));
    parser.addOptions({first, every, runs, seed, drop, corrupt});
    parser.process(app);

    bool ok = true;
    bool good = false;
    const int everyValue = parser.value(every).toInt(&good);
    ok = ok && good && everyValue >= 1;
    const int firstValue = parser.value(first).toInt(&good);
    ok = ok && good && firstValue >= 1;
    const int runsValue = parser.value(runs).toInt(&good);
    ok = ok && good && runsValue >= 1;
    const uint seedValue = parser.value(seed).toUInt(&good);
    ok = ok && good;
    const double dropValue = parser.value(drop).toDouble(&good);
    ok = ok && good && dropValue >= 0 && dropValue <= 1;
    const double corruptValue = parser.value(corrupt).toDouble(&good);
    ok = ok && good && corruptValue >= 0 && corruptValue <= 1;
    const QStringList positional = parser.positionalArguments();
    const QString run = positional.value(0);
    if (!ok || positional.size() != 1 ||
        (run != QLatin1String("sweep") && run != QLatin1String("lossy"))) {
        note(QStringLiteral(
            "usage: verimant-faults sweep [--first n] [--every n] | lossy [--runs n]"));
        return 2;
    }

    // The simulator's COM link lives here, and the tool finds its port here.
    QTemporaryDir portsDir;
    QTemporaryDir workDir;
    if (!portsDir.isValid() || !workDir.isValid()) {
        note(QStringLiteral("no temporary folder"));
        return 1;
    }
    qputenv("VERIMANT_PORTS_DIR", QFile::encodeName(portsDir.path()));
    // What the tool remembers about signed sources stays with this run: the local server's port
    // may be one that served a signed set to an earlier run.
    qputenv("XDG_DATA_HOME", QFile::encodeName(workDir.path() + QStringLiteral("/data")));
    QString error;
    const std::optional<FaultSetup> setup = prepareFaultSetup(workDir.path(), seedValue, &error);
    if (!setup) {
        note(error);
        return 1;
    }
    return run == QLatin1String("sweep")
               ? sweep(*setup, firstValue, everyValue)
               : lossy(*setup, runsValue, seedValue, dropValue, corruptValue);
}
