#include "bench/faults/fault_runs.h"

#include "bench/faults/fault_rig.h"

#include <QDir>

namespace verimant::faults {

namespace {

QString failedAt(const RunOutcome& outcome, const FaultRig& rig) {
    return upgradeOutcomeName(outcome.upgrade) + QStringLiteral(": ") + rig.failureText();
}

}  // namespace

std::optional<int> cleanRunRequests(const FaultSetup& setup, QString* error) {
    RigOptions options;
    FaultRig rig(setup, options);
    if (!rig.start(error)) {
        return std::nullopt;
    }
    const RunOutcome outcome = rig.runUpgrade();
    if (!outcome.success()) {
        *error = QStringLiteral("the uninterrupted run failed: ") + failedAt(outcome, rig);
        return std::nullopt;
    }
    const QString difference =
        rig.instrumentDifference(setup.expected, setup.workDir + QStringLiteral("/clean"));
    if (!difference.isEmpty()) {
        *error = QStringLiteral("the uninterrupted run reported success, but ") + difference;
        return std::nullopt;
    }
    return rig.writeRequests();
}

CutPointResult runCutPoint(const FaultSetup& setup, int cutAfter) {
    CutPointResult point;
    point.cutAfter = cutAfter;
    RigOptions options;
    options.faults.cutAfterRequest = cutAfter;
    FaultRig rig(setup, options);
    if (!rig.start(&point.problem)) {
        return point;
    }
    const QString saveDir = setup.workDir + QStringLiteral("/cut-") + QString::number(cutAfter);
    point.cutRun = rig.runUpgrade();
    point.cutFired = rig.writeRequests() >= cutAfter;
    point.cutRunDifference = rig.instrumentDifference(setup.expected, saveDir);
    if (!point.cutFired) {
        point.problem = QStringLiteral("the run ended before request %1").arg(cutAfter);
        return point;
    }
    if (!rig.plugBackIn(&point.problem)) {
        return point;
    }
    point.untruthfulReadout = rig.readoutClaims();
    point.rerun = rig.runUpgrade();
    point.rerunDifference = rig.instrumentDifference(setup.expected, saveDir);
    if (!point.untruthfulReadout.isEmpty()) {
        point.problem =
            QStringLiteral("the readout after the cut reported ") + point.untruthfulReadout;
    } else if (!point.rerun.success()) {
        point.problem = QStringLiteral("the rerun's ") + failedAt(point.rerun, rig);
    } else if (!point.rerunDifference.isEmpty()) {
        point.problem = QStringLiteral("the rerun reported success, but ") + point.rerunDifference;
    } else if (point.cutRun.success() && !point.cutRunDifference.isEmpty()) {
        point.problem =
            QStringLiteral("the cut run reported success, but ") + point.cutRunDifference;
    }
    QDir(saveDir).removeRecursively();
    return point;
}

void SweepFigures::add(const CutPointResult& point) {
    ++cutPoints;
    if (point.recovered()) {
        ++recovered;
    } else {
        ++notRecovered;
        notRecoveredReasons
            << QStringLiteral("cut after request %1: %2").arg(point.cutAfter).arg(point.problem);
    }
    falseSuccesses += point.falseSuccesses();
    cutRunsReportedSuccess += int(point.cutRun.success());
    untruthfulReadouts += int(!point.untruthfulReadout.isEmpty());
}

LossyRunResult runLossyUpgrade(const FaultSetup& setup, double dropShare, double corruptShare,
                               std::uint32_t seed) {
    LossyRunResult run;
    RigOptions options;
    options.faults.dropShare = dropShare;
    options.faults.corruptShare = corruptShare;
    options.faultSeed = seed;
    FaultRig rig(setup, options);
    if (!rig.start(&run.problem)) {
        run.difference = QStringLiteral("not run");
        return run;
    }
    run.outcome = rig.runUpgrade();
    run.answersLost = rig.instrument().answersLost();
    run.answersDamaged = rig.instrument().answersDamaged();
    run.difference = rig.instrumentDifference(
        setup.expected, setup.workDir + QStringLiteral("/lossy-") + QString::number(seed));
    if (!run.outcome.success()) {
        run.problem = failedAt(run.outcome, rig);
    } else if (!run.difference.isEmpty()) {
        run.problem = QStringLiteral("reported success, but ") + run.difference;
    }
    QDir(setup.workDir + QStringLiteral("/lossy-") + QString::number(seed)).removeRecursively();
    return run;
}

void LossyFigures::add(const LossyRunResult& run) {
    ++runs;
    byteExact += int(run.byteExact());
    reportedFailures += int(!run.outcome.success());
    falseSuccesses += int(run.falseSuccess());
    exactButReportedFailed += int(run.byteExact() && !run.outcome.success());
    answersLost += run.answersLost;
    answersDamaged += run.answersDamaged;
    if (!run.problem.isEmpty()) {
        failureReasons << run.problem;
    }
}

}  // namespace verimant::faults
