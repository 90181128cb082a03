#pragma once

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
};

// Parses argv (without the program name). On a usage error returns nothing and sets `error`.
std::optional<CliOptions> parseCliOptions(const QStringList& args, QString& error);

}  // namespace verimant::cli
