#pragma once

#include "cli/cli_temp_folder.h"
#include "update/update_run.h"

namespace verimant::cli {

class CliRun;

// The update side of a command-line run, prepared as the window's start-up prepares it: the run's
// own temporary folder, the configuration fetched and opened, the start banner, the self-version
// check, the serial-number base and the language catalogue. Nothing asks the user; a newer tool
// only warns, unless the configuration says an outdated tool must stop.
class CliUpdateSide {
public:
    explicit CliUpdateSide(CliRun& cli);

    // False, with an error line on standard error, when the run cannot go on.
    bool prepare();
    // Closes the log with the end banner and appends it to the instrument's report on the server,
    // as the window does when it closes.
    bool uploadReport();

    UpdateRun& run() { return run_; }
    // The run's own temporary folder; empty when it could not be made.
    QString folderPath() const { return folder_.path(); }

private:
    bool fetchConfiguration();
    QString configProblem(const QString& name);
    bool checkToolVersion();
    bool fetchBase();

    CliRun& cli_;
    CliTempFolder folder_;
    UpdateRun run_;
};

}  // namespace verimant::cli
