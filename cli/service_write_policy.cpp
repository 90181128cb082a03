#include "cli/cli_run.h"
#include "cli/firmware_write_commands.h"

#include "update/config_trust.h"

namespace verimant::cli {

void warnPolicyDoesNotCover(CliRun& run, const QString& command, const QString& file) {
    if (!run.options().isSet(QStringLiteral("require-signature")) && !policyRequiresSignature()) {
        return;
    }
    run.dialogs().showWarning(
        QStringLiteral("%1 is a service command: the signature policy covers update sets, not "
                       "%2, which is written unchecked")
            .arg(command, file));
}

}  // namespace verimant::cli
