#include "cli/cli_update_side.h"

#include "base/log_banner.h"
#include "base/ui_language.h"
#include "cli/cli_run.h"
#include "cli/cli_source.h"
#include "update/serial_number_base.h"
#include "update/start_up.h"
#include "update/update_config.h"
#include "update/update_source.h"
#include "update/version_codes.h"

#include <QDateTime>

namespace verimant::cli {

CliUpdateSide::CliUpdateSide(CliRun& cli) : cli_(cli), run_(cli.log()) {
    run_.useFolderSource(sourceFolderOption(cli.options()));
    run_.requireSignature(cli.options().isSet(QStringLiteral("require-signature")));
    run_.allowOlderSet(cli.options().isSet(QStringLiteral("allow-older-set")));
}

bool CliUpdateSide::prepare() {
    if (!folder_.isValid()) {
        cli_.dialogs().showError(folder_.problem());
        return false;
    }
    run_.setTempFolder(folder_.path());
    if (!fetchConfiguration()) {
        return false;
    }
    ActivityLog& log = cli_.log();
    log.AddLine(logSeparatorLine());
    log.AddLine(QStringLiteral("START: ") + bannerDateTime(QDateTime::currentDateTime()));
    log.AddLine(QStringLiteral("APP VERSION = ") + QLatin1String(kOwnVersionText));
    if (run_.source().isFolder()) {
        log.AddLine(QStringLiteral("DATA SOURCE = LOCAL [") + run_.source().displayText() + u']');
    }
    return checkToolVersion() && fetchBase();
}

// Without the configuration nothing of an upgrade can be known; unlike the window, which may go
// on to show the instrument, the command line has nothing to go on for.
bool CliUpdateSide::fetchConfiguration() {
    const QString name = QString::fromLatin1(UpdateRun::kConfigName);
    if (!run_.fetchConfig()) {
        cli_.dialogs().showError(configProblem(name));
        return false;
    }
    run_.openConfig();
    return true;
}

QString CliUpdateSide::configProblem(const QString& name) {
    if (run_.configTooLarge()) {
        return configTooLargeText(name, run_.source());
    }
    const QString why = run_.configFetchFailure();
    if (!why.isEmpty()) {
        return QStringLiteral("the update configuration %1 could not be fetched from %2: %3")
            .arg(name, sourceDescription(run_.source()), why);
    }
    return QStringLiteral(
               "the update configuration %1 from %2 was not fetched, or its signature "
               "was refused; the log says which")
        .arg(name, sourceDescription(run_.source()));
}

bool CliUpdateSide::checkToolVersion() {
    const UpdateConfig& config = run_.config();
    const QString section = QString::fromLatin1(kProjectSection);
    const std::int32_t newest = parseAppVersion(
        config.readString(section, QStringLiteral("VERSION_APP"), QStringLiteral("0.0.0")));
    if (!toolOutdated(newest)) {
        return true;
    }
    cli_.dialogs().showWarning(
        outdatedToolText(newest, config.readString(section, QStringLiteral("UPGRADE_URL_1"))));
    if (config.readInteger(section, QStringLiteral("ACTION_IF_NEED_UPGRADE"), 0) != 1) {
        return true;
    }
    cli_.log().AddLine(QStringLiteral("APP NEED UPGRADE ==> TERMINATE"));
    return false;
}

bool CliUpdateSide::fetchBase() {
    const QString baseName = run_.config().readString(QString::fromLatin1(kSerialNumberSection),
                                                      QStringLiteral("BASE_NAME"));
    QString problem;
    const QString localPath = run_.localPathFor(baseName, &problem);
    const bool fetched = !localPath.isEmpty() && run_.source().fetchFile(baseName, localPath);
    if (!fetched || !run_.config().baseMatches(baseName, localPath, cli_.log())) {
        // Only a failed fetch has the source's words; a base that does not match has the log's.
        const QString why = fetched ? QString() : run_.source().lastFailure();
        cli_.dialogs().showError(
            PickText(QStringLiteral("Ошибка загрузки базы серийных номеров"),
                     QStringLiteral("Error Loading of Base of Serial Numbers")) +
            (why.isEmpty() ? QString() : QStringLiteral(": ") + why));
        return false;
    }
    run_.loadBase(localPath);
    run_.config().loadLanguageCatalog();
    return true;
}

bool CliUpdateSide::uploadReport() {
    cli_.log().AddLine(endBannerLine());
    cli_.log().AddLine(logSeparatorLine());
    // The report file goes into this run's own folder: another run may be writing its own.
    return run_.source().uploadReport(run_.tempFolder() + QStringLiteral("/log.txt"),
                                      QStringLiteral("log4"), QStringLiteral("rep.txt"));
}

}  // namespace verimant::cli
