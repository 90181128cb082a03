#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"
#include "cli/json_forms.h"
#include "cli/server_files.h"
#include "cli/terminal_text.h"

#include "device/device_info.h"
#include "device/device_info_texts.h"
#include "update/update_config.h"

namespace verimant::cli {

// The readout logs every value it reads, so the log lines on standard output are the report; the
// model name, which the readout does not log, follows them as the window's group caption.
int runInfoCommand(CliRun& run, const QStringList&) {
    const bool withModelName = run.options().isSet(QStringLiteral("model"));
    std::optional<ServerFiles> files;
    UpdateConfig config;
    if (withModelName) {
        files.emplace(run);
        if (!files->fetchConfig(config)) {
            return kExitFailure;
        }
    }
    const ModelNameLookup& names = withModelName ? config : noModelNames();
    DeviceInfo info;
    if (!DeviceInformation_Get(run.session(), info, names)) {
        return kExitFailure;
    }
    QJsonObject fields = deviceInfoJson(info, run.options().port);
    if (withModelName) {
        fields.insert(QStringLiteral("model"), info.modelName);
    }
    run.json().setAll(fields);
    if (withModelName) {
        const QString caption = deviceInfoTexts(info).groupCaption;
        std::fprintf(
            run.out(), "Model : %s\n",
            caption.isEmpty() ? "(none in the configuration)" : terminalText(caption).constData());
    }
    return kExitSuccess;
}

}  // namespace verimant::cli
