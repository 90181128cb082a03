#pragma once

#include <QStringList>

namespace verimant::cli {

class CliRun;

// The subcommands; each returns an ExitCode.
int runPortsCommand(CliRun& run, const QStringList& arguments);
int runInfoCommand(CliRun& run, const QStringList& arguments);
int runModeCommand(CliRun& run, const QStringList& arguments);
QString checkModeArguments(const QStringList& arguments);
int runSettingsCommand(CliRun& run, const QStringList& arguments);
QString checkSettingsArguments(const QStringList& arguments);
int runFetchCommand(CliRun& run, const QStringList& arguments);
QString checkFetchArguments(const QStringList& arguments);
int runConfigCommand(CliRun& run, const QStringList& arguments);
int runLookupCommand(CliRun& run, const QStringList& arguments);
QString checkLookupArguments(const QStringList& arguments);
int runMirrorCommand(CliRun& run, const QStringList& arguments);
int runKeygenCommand(CliRun& run, const QStringList& arguments);
int runSignConfigCommand(CliRun& run, const QStringList& arguments);
int runVerifyConfigCommand(CliRun& run, const QStringList& arguments);
int runPolicyCommand(CliRun& run, const QStringList& arguments);
int runReportsCommand(CliRun& run, const QStringList& arguments);
int runHistoryCommand(CliRun& run, const QStringList& arguments);

}  // namespace verimant::cli
