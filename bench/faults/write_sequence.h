#pragma once

#include <QString>

namespace verimant {

struct DeviceSession;

namespace faults {

// The steps of the upgrade's write sequence, in the order the upgrade runs them.
enum class WriteStep {
    None,
    EnterBootLoader,
    WriteMainFirmware,
    EnterMainFirmware,
    WriteDataImage
};

QString writeStepName(WriteStep step);

struct WriteOutcome {
    bool success = false;
    // The step that failed; None on success.
    WriteStep failedStep = WriteStep::None;
};

// The upgrade's write sequence, each step only after the one before succeeded: restart into the
// boot loader, write the main firmware from `recordFile`, restart into the main firmware, write
// `dataImage` into the external flash. The connection manager must be running for the restarts.
WriteOutcome runUpgradeWriteSequence(DeviceSession& session, const QString& recordFile,
                                     const QString& dataImage);

}  // namespace faults
}  // namespace verimant
