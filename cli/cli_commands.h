#pragma once

#include <QStringList>

namespace verimant::cli {

class CliRun;

// The subcommands; each returns an ExitCode.
int runPortsCommand(CliRun& run, const QStringList& arguments);

}  // namespace verimant::cli
