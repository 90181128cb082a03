#include "cli/cli_command.h"

#include "cli/cli_commands.h"

namespace verimant::cli {

const QList<CliCommand>& cliCommands() {
    static const QList<CliCommand> commands = {
        {QStringLiteral("ports"), QString(), QStringLiteral("list the serial ports by COM number"),
         0, 0, false, &runPortsCommand},
    };
    return commands;
}

}  // namespace verimant::cli
