#include "cli/cli_command.h"
#include "cli/cli_run.h"
#include "cli/firmware_write_commands.h"
#include "cli/json_forms.h"
#include "cli/mode_entry.h"
#include "cli/write_history.h"
#include "cli/write_interruption.h"

#include "device/instrument_identity.h"
#include "device/update_kmt2.h"
#include "device/write_verification.h"

namespace verimant::cli {

namespace {

// A main firmware that did not take leaves the instrument in its boot loader, where a rerun finds
// it and completes the write.
void reportUnwritten(CliRun& run) {
    reportReadBackFinding(run);
    run.dialogs().showError(
        QStringLiteral("The main firmware was not written: the instrument waits in its "
                       "boot loader; run write-kmt2 again to complete it"));
}

// Ctrl-C does not cut a main-firmware write short (the writer runs it to its end); taken over
// here only so that it does not kill the program in the middle of a request.
bool writeMainFirmware(CliRun& run, const QString& path) {
    const WriteInterruption interruption;
    clearReadBackFinding();
    return Update_KMT2(run.session(), path, run.writeOptions());
}

int writeKmt2(CliRun& run, const QStringList& arguments, WriteHistory& history) {
    const QString path = arguments.value(0);
    // The file is read and checked against this instrument before it is restarted, so a file that
    // cannot be written leaves a healthy instrument running its main firmware.
    if (!run.readableFile(path) || !checkFirmwareFile(run.session(), path)) {
        return kExitFailure;
    }
    // Another instrument can come back under this port after the restart.
    const auto identity = identifyInstrument(run.session());
    history.noteIdentity(identity);
    if (!identity || enterMode(run, TargetMode::BootLoader) == ModeEntry::Failed ||
        !confirmSameInstrument(run.session(), *identity)) {
        return kExitFailure;
    }
    if (!writeMainFirmware(run, path)) {
        reportUnwritten(run);
        return kExitFailure;
    }
    return enterMode(run, TargetMode::MainFirmware) == ModeEntry::Failed ? kExitFailure
                                                                         : kExitSuccess;
}

}  // namespace

int runWriteKmt2Command(CliRun& run, const QStringList& arguments) {
    noteWriteStart(run.json(), "KMT2", arguments.value(0), run.writeOptions());
    warnPolicyDoesNotCover(run, QStringLiteral("write-kmt2"), arguments.value(0));
    WriteHistory history(run, QStringLiteral("write-kmt2"), arguments.value(0));
    const int result = writeKmt2(run, arguments, history);
    noteWriteResult(run.json(), result == kExitSuccess);
    history.finish();
    return result;
}

}  // namespace verimant::cli
