#pragma once

#include "device/instrument_identity.h"
#include "update/history_recording.h"

#include <optional>

namespace verimant::cli {

class CliRun;

// The history row of a command that writes into the instrument: begun when the command starts,
// completed from the run's JSON document ("result", "failed_step", the first error) at its end.
class WriteHistory {
public:
    WriteHistory(CliRun& run, const QString& kind, const QString& source);
    HistoryRow& row() { return recording_.row(); }
    HistoryRecording& recording() { return recording_; }
    // The serial number and UID of the instrument that was identified, when one was.
    void noteIdentity(const std::optional<InstrumentIdentity>& identity);
    void finish();

private:
    CliRun& run_;
    HistoryRecording recording_;
};

// The kind a command's row gets: `kind`, or "upgrade --all" for the workers of that command.
QString historyKind(const QString& kind);

}  // namespace verimant::cli
