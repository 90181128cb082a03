#include "cli/cli_options.h"

namespace verimant::cli {

namespace {

bool parsePort(const QString& text, int& port, QString& error) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 1 || value > 250) {
        error = QStringLiteral("--port needs a COM port number from 1 to 250, not '%1'").arg(text);
        return false;
    }
    port = value;
    return true;
}

}  // namespace

std::optional<CliOptions> parseCliOptions(const QStringList& args, QString& error) {
    CliOptions options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--yes") || arg == QLatin1String("-y")) {
            options.assumeYes = true;
        } else if (arg == QLatin1String("--port")) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("--port needs a COM port number");
                return std::nullopt;
            }
            if (!parsePort(args[++i], options.port, error)) {
                return std::nullopt;
            }
        } else if (arg.startsWith(QLatin1String("--port="))) {
            if (!parsePort(arg.mid(7), options.port, error)) {
                return std::nullopt;
            }
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1 &&
                   !(arg.size() > 1 && arg[1].isDigit())) {
            error = QStringLiteral("unknown option '%1'").arg(arg);
            return std::nullopt;
        } else if (options.command.isEmpty()) {
            options.command = arg;
        } else {
            options.arguments << arg;
        }
    }
    return options;
}

}  // namespace verimant::cli
