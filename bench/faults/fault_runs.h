#pragma once

#include "bench/faults/fault_operator.h"
#include "bench/faults/fault_setup.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace verimant::faults {

// One uninterrupted run on a fresh instrument: the number of requests it takes (its cut points,
// link tests not counted). Nothing, with the reason, when it fails or leaves other bytes.
std::optional<int> cleanRunRequests(const FaultSetup& setup, QString* error);

// One cut point: the upgrade with the cable pulled after request `cutAfter`, the instrument
// plugged back in and the upgrade run once more to the end.
struct CutPointResult {
    int cutAfter = 0;
    bool cutFired = false;
    RunOutcome cutRun;
    QString cutRunDifference;  // empty when the flashes were byte-exact after the cut run
    // What the readout after the cut claimed that the flashes do not hold (empty: the truth).
    QString untruthfulReadout;
    RunOutcome rerun;
    QString rerunDifference;
    QString problem;  // why the point did not recover, or what went wrong around it

    bool recovered() const {
        return cutFired && untruthfulReadout.isEmpty() && rerun.success() &&
               rerunDifference.isEmpty();
    }
    // Success reported while the flashes differ, in either run.
    int falseSuccesses() const {
        return int(cutRun.success() && !cutRunDifference.isEmpty()) +
               int(rerun.success() && !rerunDifference.isEmpty());
    }
};
CutPointResult runCutPoint(const FaultSetup& setup, int cutAfter);

struct SweepFigures {
    int cutPoints = 0;
    int recovered = 0;
    int notRecovered = 0;
    int falseSuccesses = 0;
    // Cut runs that still reported success: the cut came after the last request that matters.
    int cutRunsReportedSuccess = 0;
    // Readouts after a cut that reported a set's version over an image that was not whole.
    int untruthfulReadouts = 0;
    QStringList notRecoveredReasons;

    void add(const CutPointResult& point);
    bool goalMet() const {
        return falseSuccesses == 0 && notRecovered == 0 && untruthfulReadouts == 0;
    }
};

// One upgrade on a fresh instrument whose line loses and damages answers at random.
struct LossyRunResult {
    RunOutcome outcome;
    int answersLost = 0;
    int answersDamaged = 0;
    QString difference;
    QString problem;

    bool byteExact() const { return difference.isEmpty(); }
    bool falseSuccess() const { return outcome.success() && !difference.isEmpty(); }
};
LossyRunResult runLossyUpgrade(const FaultSetup& setup, double dropShare, double corruptShare,
                               std::uint32_t seed);

struct LossyFigures {
    int runs = 0;
    int byteExact = 0;
    int reportedFailures = 0;
    int falseSuccesses = 0;
    // Reported as failures although every byte landed: safe, a rerun costs only time.
    int exactButReportedFailed = 0;
    int answersLost = 0;
    int answersDamaged = 0;
    QStringList failureReasons;

    void add(const LossyRunResult& run);
    double exactShare() const { return runs == 0 ? 0.0 : double(byteExact) / double(runs); }
};

}  // namespace verimant::faults
