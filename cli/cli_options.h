#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace verimant::cli {

// What the command line asked for.
struct CliOptions {
    QString command;
    QStringList arguments;
    int port = -1;  // -1: not given
    bool assumeYes = false;
    bool help = false;
    // Every option given, by its long name, with its value (empty for a switch); a value option
    // given twice is refused. Commands read options without a field of their own here.
    QHash<QString, QString> given;

    bool isSet(const QString& name) const { return given.contains(name); }
    QString value(const QString& name) const { return given.value(name); }
};

// One option of verimant-cli. A command that needs a new option adds one entry to
// cliOptionTable(); parsing and --help follow from it.
struct CliOptionSpec {
    QString name;         // long name, without the dashes
    QString shortName;    // one letter, or empty
    QString valueName;    // shown in --help after the name; empty for a switch
    QString description;  // the --help line
    // Checks the value and stores it in a field of CliOptions; returns the problem, or empty text.
    // Without it the value is only kept in CliOptions::given.
    QString (*store)(CliOptions& options, const QString& value) = nullptr;
};

// Every option, in the order --help lists them.
const QList<CliOptionSpec>& cliOptionTable();

// Parses argv (without the program name). On a usage error returns nothing and sets `error`.
std::optional<CliOptions> parseCliOptions(const QStringList& args, QString& error);

}  // namespace verimant::cli
