#include "cli/cli_command.h"
#include "cli/cli_run.h"
#include "cli/firmware_write_commands.h"

#include "device/mode_switching.h"
#include "device/update_kmt2.h"

namespace verimant::cli {

namespace {

constexpr int kBootLoaderRunning = 0;
constexpr int kSwitched = 0;

bool enterBootLoader(CliRun& run) {
    const int mode = Device_Is_Booter_Or_KMT2(run.session());
    if (mode == kBootLoaderRunning) {
        return true;
    }
    if (mode < 0 || Device_goto_BOOT(run.session()) != kSwitched) {
        run.dialogs().showError(
            QStringLiteral("The instrument did not restart into its boot loader"));
        return false;
    }
    return true;
}

}  // namespace

int runWriteKmt2Command(CliRun& run, const QStringList& arguments) {
    if (!enterBootLoader(run)) {
        return kExitFailure;
    }
    if (!Update_KMT2(run.session(), arguments.value(0))) {
        // A partly written main firmware cannot run: the instrument stays in its boot loader.
        return kExitFailure;
    }
    if (Device_GoTo_KMT2(run.session()) != kSwitched) {
        run.dialogs().showError(
            QStringLiteral("The main firmware was written but the instrument did not start it"));
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace verimant::cli
