#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace verimant::cli {

class CliRun;

enum ExitCode { kExitSuccess = 0, kExitFailure = 1, kExitUsage = 2 };

// One subcommand of verimant-cli. Commands that need the instrument get a run already connected
// to it; they return an ExitCode.
struct CliCommand {
    QString name;
    QString usage;  // arguments after the name, for --help
    QString summary;
    int minArguments = 0;
    int maxArguments = 0;
    bool needsInstrument = true;
    int (*run)(CliRun& run, const QStringList& arguments) = nullptr;
    // Checks the arguments before anything is opened; returns the problem, or empty text.
    QString (*checkArguments)(const QStringList& arguments) = nullptr;
    // The options the command uses, by long name, besides those every command takes
    // (commonOptionNames()); any other is refused before anything is opened.
    QStringList options = {};
};

// The options every command takes: --help, --json and --yes (questions may come from any layer).
const QStringList& commonOptionNames();

// Every command, in the order --help lists them.
const QList<CliCommand>& cliCommands();

}  // namespace verimant::cli
