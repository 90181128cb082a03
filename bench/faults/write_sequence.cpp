#include "bench/faults/write_sequence.h"

#include "device/mode_switching.h"
#include "device/update_efl.h"
#include "device/update_kmt2.h"

namespace verimant::faults {

QString writeStepName(WriteStep step) {
    switch (step) {
        case WriteStep::None:
            return QStringLiteral("none");
        case WriteStep::EnterBootLoader:
            return QStringLiteral("restart into the boot loader");
        case WriteStep::WriteMainFirmware:
            return QStringLiteral("main-firmware write");
        case WriteStep::EnterMainFirmware:
            return QStringLiteral("restart into the main firmware");
        case WriteStep::WriteDataImage:
            return QStringLiteral("external-flash write");
    }
    return {};
}

WriteOutcome runUpgradeWriteSequence(DeviceSession& session, const QString& recordFile,
                                     const QString& dataImage) {
    if (Device_goto_BOOT(session) != kModeSwitched) {
        return {false, WriteStep::EnterBootLoader};
    }
    if (!Update_KMT2(session, recordFile)) {
        return {false, WriteStep::WriteMainFirmware};
    }
    if (Device_GoTo_KMT2(session) != kModeSwitched) {
        return {false, WriteStep::EnterMainFirmware};
    }
    if (!Update_EFL(session, dataImage)) {
        return {false, WriteStep::WriteDataImage};
    }
    return {true, WriteStep::None};
}

}  // namespace verimant::faults
