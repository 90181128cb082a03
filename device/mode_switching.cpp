#include "device/mode_switching.h"

#include "base/activity_log.h"
#include "base/file_helpers.h"
#include "base/user_dialogs.h"
#include "device/device_session.h"
#include "device/device_text_forms.h"
#include "device/write_cancel.h"
#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "link/link_flags.h"
#include "platform/port_map.h"

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

// What the waits saw of the restarted instrument, so that a switch that gives up can say why.
struct ReconnectionSighting {
    int port = -1;              // the port the instrument went down on
    bool portBack = false;      // that port existed again after it had gone
    bool portGone = false;      // it went away at all
    bool lineWentDown = false;  // the old line was seen hung up or closed
    bool liveLineOpen = false;  // after that, a port was open on a line that had not hung up
};

void look(const DeviceSession& session, ReconnectionSighting& seen) {
    const bool present = !portDevicePath(seen.port).isEmpty();
    seen.portGone = seen.portGone || !present;
    seen.portBack = seen.portBack || (seen.portGone && present);
    const bool live = session.protocol.isOpen() && !session.protocol.lineHungUp();
    seen.liveLineOpen = seen.liveLineOpen || (seen.lineWentDown && live);
    seen.lineWentDown = seen.lineWentDown || !live;
}

QString reconnectionFailure(const DeviceSession& session, const ReconnectionSighting& seen) {
    const QString port = QStringLiteral("COM ") + QString::number(seen.port);
    if (session.protocol.isOpen() && session.protocol.lineHungUp()) {
        // Only the connection check closes a line that went down; it never got to run.
        return port + QStringLiteral(" was never closed after the restart: no link check ran");
    }
    if (seen.liveLineOpen) {
        return port +
               QStringLiteral(" came back and was opened, but the instrument did not answer");
    }
    if (seen.portBack) {
        return port + QStringLiteral(" came back but was never opened");
    }
    if (!seen.portGone) {
        return port + QStringLiteral(" stayed listed but was never opened again");
    }
    return port + QStringLiteral(" never came back");
}

bool waitForReconnection(DeviceSession& session, ReconnectionSighting& seen) {
    for (int attempt = 0; attempt < kModeSwitchAttempts; ++attempt) {
        waitMs(kModeSwitchPauseMs);
        if (session.flags.deviceConnected) {
            return true;
        }
        look(session, seen);
    }
    return false;
}

void logOperatorStop(DeviceSession& session) {
    session.log.AddLine(QStringLiteral("STOP : the operator asked to stop after this step"));
}

// A RESET whose answer was lost may still have been carried out. A USB instrument that restarts
// drops off the line at once, so a line that hung up (or was closed) after an unanswered RESET
// means the restart is under way; one that stays up means the instrument ignored it.
bool resetTaken(DeviceSession& session, std::uint8_t mode) {
    if (session.commands.resetDevice(mode, false)) {
        return true;
    }
    if (!session.protocol.isOpen() || session.protocol.lineHungUp()) {
        session.log.AddLine(QStringLiteral("RESET : no answer, the instrument went off the line"));
        return true;
    }
    userDialogs().showError(QStringLiteral("No answer - RESET"));
    return false;
}

int switchTo(DeviceSession& session, const SwitchTarget& target) {
    session.log.AddLine(QString::fromLatin1(target.announce));
    // Into the boot loader is where a write begins; after a stop request it is not begun. The way
    // back into the main firmware always runs: it leaves the instrument usable.
    if (target.wantedMode == kBootLoaderRunning && runStopRequested()) {
        logOperatorStop(session);
        return kSwitchFailed;
    }
    ReconnectionSighting seen;
    seen.port = session.protocol.portNumber();
    if (!resetTaken(session, target.resetMode)) {
        session.log.AddErrorLine(target.resetFailure, 0);
        return kSwitchFailed;
    }
    // The instrument answers before it goes down; only then can a lost link mean the restart.
    waitMs(kModeSwitchPauseMs);
    session.flags.deviceConnected = false;
    if (!waitForReconnection(session, seen)) {
        session.log.AddLine(QStringLiteral("ERROR : no instrument after the restart: ") +
                            reconnectionFailure(session, seen));
        return kSwitchFailed;
    }
    waitMs(kModeSwitchPauseMs);
    const int mode = Device_Is_Booter_Or_KMT2(session);
    if (mode == kModeUnknown) {
        return kSwitchFailed;
    }
    if (runStopRequested()) {
        // The switch is done; failing it keeps the next write from starting. Nothing has been
        // written after a switch into the boot loader, so the main firmware is as whole as it was
        // and the instrument goes back into it rather than wait in its boot loader.
        logOperatorStop(session);
        if (target.wantedMode == kBootLoaderRunning && mode == kBootLoaderRunning) {
            Device_GoTo_KMT2(session);
        }
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
