#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"
#include "cli/mode_entry.h"

namespace verimant::cli {

QString checkModeArguments(const QStringList& arguments) {
    const QString target = arguments.value(0);
    if (target == QLatin1String("boot") || target == QLatin1String("main")) {
        return {};
    }
    return QStringLiteral("mode is 'boot' or 'main', not '%1'").arg(target);
}

int runModeCommand(CliRun& run, const QStringList& arguments) {
    const bool toBoot = arguments.value(0) == QLatin1String("boot");
    run.json().set(QStringLiteral("mode"), arguments.value(0));
    const ModeEntry entry =
        enterMode(run, toBoot ? TargetMode::BootLoader : TargetMode::MainFirmware);
    run.json().set(QStringLiteral("result"), entry == ModeEntry::AlreadyRunning ? "already_running"
                                             : entry == ModeEntry::Switched     ? "switched"
                                                                                : "failed");
    switch (entry) {
        case ModeEntry::AlreadyRunning:
            run.dialogs().showInformation(
                toBoot ? QStringLiteral("The instrument already runs its boot loader")
                       : QStringLiteral("The instrument already runs its main firmware"));
            return kExitSuccess;
        case ModeEntry::Switched:
            return kExitSuccess;
        case ModeEntry::Failed:
            break;
    }
    return kExitFailure;
}

}  // namespace verimant::cli
