#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"

#include "device/device_info.h"

namespace verimant::cli {

// The readout logs every value it reads, so the log lines on standard output are the report.
int runInfoCommand(CliRun& run, const QStringList&) {
    DeviceInfo info;
    return DeviceInformation_Get(run.session(), info, noModelNames()) ? kExitSuccess : kExitFailure;
}

}  // namespace verimant::cli
