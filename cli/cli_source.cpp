#include "cli/cli_source.h"

#include "cli/cli_options.h"
#include "cli/cli_run.h"
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

}  // namespace verimant::cli
