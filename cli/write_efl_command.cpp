#include "cli/cli_command.h"
#include "cli/cli_run.h"
#include "cli/firmware_write_commands.h"
#include "cli/mode_entry.h"

#include "device/update_efl.h"

namespace verimant::cli {

int runWriteEflCommand(CliRun& run, const QStringList& arguments) {
    if (!run.readableFile(arguments.value(0)) ||
        enterMode(run, TargetMode::MainFirmware) == ModeEntry::Failed) {
        return kExitFailure;
    }
    return Update_EFL(run.session(), arguments.value(0)) ? kExitSuccess : kExitFailure;
}

}  // namespace verimant::cli
