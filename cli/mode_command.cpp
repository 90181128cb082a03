#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"

#include "device/mode_switching.h"

namespace verimant::cli {

namespace {

constexpr int kBootLoaderRunning = 0;
constexpr int kMainFirmwareRunning = 1;

QString modeName(bool bootLoader) {
    return bootLoader ? QStringLiteral("boot loader") : QStringLiteral("main firmware");
}

}  // namespace

QString checkModeArguments(const QStringList& arguments) {
    const QString target = arguments.value(0);
    if (target == QLatin1String("boot") || target == QLatin1String("main")) {
        return {};
    }
    return QStringLiteral("mode is 'boot' or 'main', not '%1'").arg(target);
}

int runModeCommand(CliRun& run, const QStringList& arguments) {
    const bool toBoot = arguments.value(0) == QLatin1String("boot");
    const int current = Device_Is_Booter_Or_KMT2(run.session());
    if (current < 0) {
        return kExitFailure;
    }
    if (current == (toBoot ? kBootLoaderRunning : kMainFirmwareRunning)) {
        run.dialogs().showInformation(
            QStringLiteral("The instrument already runs its %1").arg(modeName(toBoot)));
        return kExitSuccess;
    }
    const int result = toBoot ? Device_goto_BOOT(run.session()) : Device_GoTo_KMT2(run.session());
    if (result == 0) {
        return kExitSuccess;
    }
    run.dialogs().showError(
        result == -2
            ? QStringLiteral("The instrument restarted into its %1").arg(modeName(!toBoot))
            : QStringLiteral("The instrument did not restart into its %1").arg(modeName(toBoot)));
    return kExitFailure;
}

}  // namespace verimant::cli
