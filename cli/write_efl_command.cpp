#include "cli/cli_command.h"
#include "cli/cli_run.h"
#include "cli/firmware_write_commands.h"
#include "cli/json_forms.h"
#include "cli/mode_entry.h"
#include "cli/write_history.h"
#include "cli/write_interruption.h"

#include "device/instrument_identity.h"
#include "device/update_efl.h"
#include "device/write_cancel.h"
#include "device/write_verification.h"

namespace verimant::cli {

namespace {

int writeEfl(CliRun& run, const QStringList& arguments, WriteHistory& history) {
    if (!run.readableFile(arguments.value(0))) {
        return kExitFailure;
    }
    const auto identity = identifyInstrument(run.session());
    history.noteIdentity(identity);
    if (!identity || enterMode(run, TargetMode::MainFirmware) == ModeEntry::Failed ||
        !confirmSameInstrument(run.session(), *identity)) {
        return kExitFailure;
    }
    bool written = false;
    {
        const WriteInterruption interruption;
        clearReadBackFinding();
        written = Update_EFL(run.session(), arguments.value(0), run.writeOptions());
    }
    if (!written) {
        reportReadBackFinding(run);
    }
    if (!written && writeCancelRequested()) {
        run.dialogs().showError(
            QStringLiteral("Writing stopped on Ctrl-C: the data image is only partly written; "
                           "run write-efl again to complete it"));
    }
    return written ? kExitSuccess : kExitFailure;
}

}  // namespace

int runWriteEflCommand(CliRun& run, const QStringList& arguments) {
    noteWriteStart(run.json(), "EFL", arguments.value(0), run.writeOptions());
    warnPolicyDoesNotCover(run, QStringLiteral("write-efl"), arguments.value(0));
    WriteHistory history(run, QStringLiteral("write-efl"), arguments.value(0));
    const int result = writeEfl(run, arguments, history);
    noteWriteResult(run.json(), result == kExitSuccess);
    history.finish();
    return result;
}

}  // namespace verimant::cli
