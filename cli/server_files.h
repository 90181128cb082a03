#pragma once

#include "cli/folders_on_signal.h"
#include "update/folder_source.h"
#include "update/update_config.h"
#include "update/update_server.h"

#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace verimant::cli {

class CliRun;

// The update server, or the folder --source names, as one command sees it: files fetched into a
// folder of this run alone, which goes when the command ends, also by a signal. Problems are said
// plainly on standard error.
class ServerFiles {
public:
    explicit ServerFiles(CliRun& run);

    // Fetches the configuration and opens it into `config`.
    bool fetchConfig(UpdateConfig& config);
    // Fetches a file the configuration names; its local path, or empty text.
    QString fetch(const QString& serverName, const QString& what);

    UpdateServer& server() { return server_; }
    UpdateSource& source();

private:
    // Where `serverName` lands in the run's folder; empty, with the reason said, when it cannot.
    QString localPathFor(const QString& serverName, const QString& what);

    CliRun& run_;
    QTemporaryDir folder_;
    // After the folder, so it lets go of the path before the folder goes.
    FolderOnSignal folderOnSignal_;
    UpdateServer server_;
    std::optional<FolderSource> folderSource_;
};

}  // namespace verimant::cli
