#include "cli/cli_command.h"
#include "cli/cli_run.h"
#include "cli/firmware_write_commands.h"
#include "cli/mode_entry.h"

#include "device/update_kmt2.h"

namespace verimant::cli {

int runWriteKmt2Command(CliRun& run, const QStringList& arguments) {
    if (!run.readableFile(arguments.value(0)) ||
        enterMode(run, TargetMode::BootLoader) == ModeEntry::Failed) {
        return kExitFailure;
    }
    if (!Update_KMT2(run.session(), arguments.value(0))) {
        // A partly written main firmware cannot run: the instrument stays in its boot loader.
        return kExitFailure;
    }
    return enterMode(run, TargetMode::MainFirmware) == ModeEntry::Failed ? kExitFailure
                                                                         : kExitSuccess;
}

}  // namespace verimant::cli
