#include "device/mode_switching.h"

#include "base/activity_log.h"
#include "base/file_helpers.h"
#include "device/device_session.h"
#include "device/device_text_forms.h"
#include "link/device_commands.h"
#include "link/link_flags.h"

#include <cstdint>

namespace verimant {

namespace {

constexpr int kModeUnknown = -1;
constexpr int kSwitchFailed = -1;

// One direction of a switch, with its own log texts.
struct SwitchTarget {
    const char* announce;
    std::uint8_t resetMode;
    QString resetFailure;
    int wantedMode;
};

bool waitForReconnection(DeviceSession& session) {
    for (int attempt = 0; attempt < kModeSwitchAttempts; ++attempt) {
        waitMs(kModeSwitchPauseMs);
        if (session.flags.deviceConnected) {
            return true;
        }
    }
    return false;
}

int switchTo(DeviceSession& session, const SwitchTarget& target) {
    session.log.AddLine(QString::fromLatin1(target.announce));
    if (!session.commands.resetDevice(target.resetMode, true)) {
        session.log.AddErrorLine(target.resetFailure, 0);
        return kSwitchFailed;
    }
    // The instrument answers before it goes down; only then can a lost link mean the restart.
    waitMs(kModeSwitchPauseMs);
    session.flags.deviceConnected = false;
    if (!waitForReconnection(session)) {
        return kSwitchFailed;
    }
    waitMs(kModeSwitchPauseMs);
    const int mode = Device_Is_Booter_Or_KMT2(session);
    if (mode == kModeUnknown) {
        return kSwitchFailed;
    }
    return mode == target.wantedMode ? kModeSwitched : kModeSwitchedIntoOther;
}

}  // namespace

int Device_Is_Booter_Or_KMT2(DeviceSession& session) {
    session.log.AddLine(QStringLiteral("==>Device_Is_Booter_Or_KMT2"));
    ProgramInfo info;
    if (!session.commands.readProgramInfo(&info, true)) {
        session.log.AddErrorLine(QStringLiteral("Ошибка получения версии ПО"), 0);
        return kModeUnknown;
    }
    session.log.AddLine("BOOT  : " + versionText(info.bootVersion));
    session.log.AddLine("KMT2  : " + versionText(info.mainVersion));
    return info.mainVersion != 0 ? kMainFirmwareRunning : kBootLoaderRunning;
}

int Device_goto_BOOT(DeviceSession& session) {
    return switchTo(session, {"==>Device_goto_BOOT mode", DeviceCommands::kResetToBootLoader,
                              QStringLiteral("ERROR : Device_GoTo_Booter"), kBootLoaderRunning});
}

int Device_GoTo_KMT2(DeviceSession& session) {
    return switchTo(session,
                    {"==>Device_GoTo_KMT2", DeviceCommands::kResetToMainFirmware,
                     QStringLiteral("Ошибка перехода в режим KMT2"), kMainFirmwareRunning});
}

}  // namespace verimant
