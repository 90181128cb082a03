#include "cli/cli_write_options.h"

#include "cli/cli_options.h"

namespace verimant::cli {

WriteOptions cliWriteOptions(const CliOptions& options) {
    WriteOptions write;
    write.writeAll = options.isSet(QStringLiteral("write-all"));
    return write;
}

}  // namespace verimant::cli
