#pragma once

#include "cli/folders_on_signal.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace verimant::cli {

// A temporary folder of one verimant-cli run alone, inside the user's tool folder, removed with
// its files when the run ends, by a signal too. Runs on several instruments at once each download
// their own configuration, base and firmware files, so none can empty or overwrite what another is
// about to write into an instrument. The window keeps the shared tool folder and its
// single-instance rule.
class CliTempFolder {
public:
    CliTempFolder();
    ~CliTempFolder();
    CliTempFolder(const CliTempFolder&) = delete;
    CliTempFolder& operator=(const CliTempFolder&) = delete;

    // False when the tool folder is unusable (missing, not the user's alone) or the run's folder
    // could not be made; problem() then says why.
    bool isValid() const { return dir_ != nullptr && dir_->isValid(); }
    QString path() const;
    QString problem() const { return problem_; }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    // Declared after the folder, so it lets go of the path before the folder goes.
    std::optional<FolderOnSignal> onSignal_;
    QString problem_;
};

}  // namespace verimant::cli
