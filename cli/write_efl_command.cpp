#include "cli/cli_command.h"
#include "cli/cli_run.h"
#include "cli/firmware_write_commands.h"

#include "device/mode_switching.h"
#include "device/update_efl.h"

namespace verimant::cli {

namespace {

constexpr int kMainFirmwareRunning = 1;
constexpr int kSwitched = 0;

bool enterMainFirmware(CliRun& run) {
    const int mode = Device_Is_Booter_Or_KMT2(run.session());
    if (mode == kMainFirmwareRunning) {
        return true;
    }
    if (mode < 0 || Device_GoTo_KMT2(run.session()) != kSwitched) {
        run.dialogs().showError(QStringLiteral("The instrument did not start its main firmware"));
        return false;
    }
    return true;
}

}  // namespace

int runWriteEflCommand(CliRun& run, const QStringList& arguments) {
    if (!enterMainFirmware(run)) {
        return kExitFailure;
    }
    return Update_EFL(run.session(), arguments.value(0)) ? kExitSuccess : kExitFailure;
}

}  // namespace verimant::cli
