#include "cli/cli_source.h"

#include "cli/cli_options.h"
#include "update/update_source.h"

namespace verimant::cli {

QString sourceFolderOption(const CliOptions& options) {
    if (options.isSet(QStringLiteral("source"))) {
        return options.value(QStringLiteral("source"));
    }
    return updateSourceFolderFromEnvironment();
}

QString sourceDescription(const UpdateSource& source) {
    return (source.isFolder() ? QStringLiteral("the folder ")
                              : QStringLiteral("the update server ")) +
           source.displayText();
}

}  // namespace verimant::cli
