#include "cli/cli_temp_folder.h"

#include "platform/temp_folder.h"

namespace verimant::cli {

CliTempFolder::CliTempFolder() {
    const QString toolFolder = toolTempFolder();
    const PrivateFolderStatus status = preparePrivateFolder(toolFolder);
    if (status != PrivateFolderStatus::Ready) {
        problem_ = QStringLiteral("the tool's temporary folder %1 cannot be used: %2")
                       .arg(toolFolder, privateFolderProblem(status));
        return;
    }
    // QTemporaryDir makes the folder with mode 0700 under a name nobody can guess beforehand.
    dir_ = std::make_unique<QTemporaryDir>(toolFolder + QStringLiteral("/cli-XXXXXX"));
    if (!dir_->isValid()) {
        problem_ =
            QStringLiteral("cannot create a folder in %1: %2").arg(toolFolder, dir_->errorString());
        return;
    }
    onSignal_.emplace(dir_->path());
}

CliTempFolder::~CliTempFolder() = default;

QString CliTempFolder::path() const {
    return isValid() ? dir_->path() : QString();
}

}  // namespace verimant::cli
