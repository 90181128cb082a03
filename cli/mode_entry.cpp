#include "cli/mode_entry.h"

#include "cli/cli_run.h"

#include "device/mode_switching.h"

namespace verimant::cli {

namespace {

QString modeName(TargetMode mode) {
    return mode == TargetMode::BootLoader ? QStringLiteral("boot loader")
                                          : QStringLiteral("main firmware");
}

TargetMode other(TargetMode mode) {
    return mode == TargetMode::BootLoader ? TargetMode::MainFirmware : TargetMode::BootLoader;
}

}  // namespace

ModeEntry enterMode(CliRun& run, TargetMode target) {
    const bool toBoot = target == TargetMode::BootLoader;
    const int current = Device_Is_Booter_Or_KMT2(run.session());
    if (current < 0) {
        return ModeEntry::Failed;
    }
    if (current == (toBoot ? kBootLoaderRunning : kMainFirmwareRunning)) {
        return ModeEntry::AlreadyRunning;
    }
    run.watchLink(true);
    const int result = toBoot ? Device_goto_BOOT(run.session()) : Device_GoTo_KMT2(run.session());
    run.watchLink(false);
    if (result == kModeSwitched) {
        return ModeEntry::Switched;
    }
    run.dialogs().showError(
        result == kModeSwitchedIntoOther
            ? QStringLiteral("The instrument restarted into its %1").arg(modeName(other(target)))
            : QStringLiteral("The instrument did not restart into its %1").arg(modeName(target)));
    return ModeEntry::Failed;
}

}  // namespace verimant::cli
