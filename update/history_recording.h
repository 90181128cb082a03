#pragma once

#include "update/run_history.h"
#include "update/upgrade_workflow.h"

#include <QElapsedTimer>

namespace verimant {

class ActivityLog;
struct DeviceInfo;

// The history row of one run, from its start to its end. A history that cannot be opened or
// written costs the run nothing but a log line: the instrument's work goes on without its record.
class HistoryRecording {
public:
    HistoryRecording(ActivityLog& log, QString kind, int port,
                     QString path = RunHistory::defaultPath());

    // Inserts the row as running; call once the instrument answers.
    void begin();
    HistoryRow& row() { return row_; }
    // Stores the row as it stands while the run goes on.
    void note();
    // Completes the row with `result`; the seconds are counted from begin().
    void finish(const QString& result);
    bool begun() const { return row_.id != 0; }

private:
    void logProblem();

    ActivityLog& log_;
    RunHistory history_;
    HistoryRow row_;
    QElapsedTimer clock_;
    bool opened_ = false;
};

// "KMT2 1.02, EFL 1.01", "?" for a version that was not read.
QString versionsText(const DeviceInfo& info);

// The history's word for how an upgrade ended.
QString historyResult(UpgradeOutcome outcome);

// The upgrade, with what its readouts tell written into `recording`: serial, UID, the versions
// before (the first readout) and after (the readout after the last restart), source, packet,
// verification. The caller finishes the row, since only it knows a refusal of its own.
UpgradeOutcome runRecordedUpgrade(UpgradeParts& parts, HistoryRecording& recording,
                                  UpgradeCheck* check = nullptr);

}  // namespace verimant
