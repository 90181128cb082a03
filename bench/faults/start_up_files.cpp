#include "bench/faults/start_up_files.h"

#include "update/serial_number_base.h"
#include "update/update_config.h"
#include "update/update_run.h"
#include "update/update_server.h"

namespace verimant::faults {

namespace {

bool fail(QString* error, const QString& reason) {
    if (error) {
        *error = reason;
    }
    return false;
}

}  // namespace

bool fetchStartUpFiles(UpdateRun& run, const QString& folder, QString* error) {
    run.setTempFolder(folder);
    if (!run.server().fetchFile(QString::fromLatin1(UpdateRun::kConfigName), run.configPath())) {
        return fail(error, QStringLiteral("the configuration was not fetched"));
    }
    run.openConfig();
    const QString baseName = run.config().readString(QString::fromLatin1(kSerialNumberSection),
                                                     QStringLiteral("BASE_NAME"));
    const QString basePath = run.localPathFor(baseName);
    if (basePath.isEmpty() || !run.server().fetchFile(baseName, basePath)) {
        return fail(error, QStringLiteral("the serial-number base was not fetched"));
    }
    run.loadBase(basePath);
    run.config().loadLanguageCatalog();
    return true;
}

}  // namespace verimant::faults
