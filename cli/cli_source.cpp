#include "cli/cli_source.h"

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "update/config_limits.h"
#include "update/update_source.h"

namespace verimant::cli {

QString sourceFolderOption(const CliOptions& options) {
    if (options.isSet(QStringLiteral("source"))) {
        return options.value(QStringLiteral("source"));
    }
    return updateSourceFolderFromEnvironment();
}

bool refuseSourceOption(CliRun& run, const QString& command) {
    if (!run.options().isSet(QStringLiteral("source"))) {
        return false;
    }
    run.dialogs().showError(
        QStringLiteral("%1 reads the update server (VERIMANT_UPDATE_SERVER), never a folder: "
                       "--source does not apply to it")
            .arg(command));
    return true;
}

QString sourceDescription(const UpdateSource& source) {
    return (source.isFolder() ? QStringLiteral("the folder ")
                              : QStringLiteral("the update server ")) +
           source.displayText();
}

QString configTooLargeText(const QString& name, const UpdateSource& source) {
    return QStringLiteral("the configuration '%1' from %2 is larger than %3 bytes and is refused")
        .arg(name, sourceDescription(source))
        .arg(kMaxConfigBytes);
}

}  // namespace verimant::cli
