#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"

#include "platform/port_map.h"

#include <vector>

namespace verimant::cli {

int runPortsCommand(CliRun& run, const QStringList&) {
    std::vector<PortEntry> entries(1000);
    int count = int(entries.size());
    enumeratePorts(entries.data(), count);
    compactPortEntries(entries.data(), count);
    if (count == 0) {
        std::fprintf(run.out(), "No serial ports.\n");
        return kExitSuccess;
    }
    for (int i = 0; i < count; ++i) {
        const int number = entries[i].portNumber;
        std::fprintf(run.out(), "COM%-4d %s\n", number,
                     portDevicePath(number).toUtf8().constData());
    }
    return kExitSuccess;
}

}  // namespace verimant::cli
