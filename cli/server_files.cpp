#include "cli/server_files.h"

#include "cli/cli_run.h"
#include "cli/cli_source.h"
#include "platform/temp_folder.h"
#include "update/config_limits.h"
#include "update/config_trust.h"
#include "update/local_name.h"

namespace verimant::cli {

namespace {

// ": 530 Login incorrect." when the source said why, else nothing.
QString reasonSuffix(const UpdateSource& source) {
    const QString why = source.lastFailure();
    return why.isEmpty() ? QString() : QStringLiteral(": ") + why;
}

QString configFetchProblem(FetchOutcome outcome, const QString& name, const UpdateSource& source) {
    if (outcome == FetchOutcome::TooLarge) {
        return configTooLargeText(name, source);
    }
    return QStringLiteral("could not fetch the configuration '%1' from %2")
               .arg(name, sourceDescription(source)) +
           reasonSuffix(source);
}

}  // namespace

ServerFiles::ServerFiles(CliRun& run)
    : run_(run),
      folder_(systemTempPath() + QStringLiteral("/verimant-cli-XXXXXX")),
      folderOnSignal_(folder_.isValid() ? folder_.path() : QString()),
      server_(run.log()) {
    const QString folder = sourceFolderOption(run.options());
    if (!folder.isEmpty()) {
        folderSource_.emplace(run.log(), folder);
    }
}

UpdateSource& ServerFiles::source() {
    if (folderSource_) {
        return *folderSource_;
    }
    return server_;
}

bool ServerFiles::fetchConfig(UpdateConfig& config) {
    const QString name = QString::fromLatin1(kConfigFileName);
    const QString path = localPathFor(name, QStringLiteral("configuration"));
    if (path.isEmpty()) {
        return false;
    }
    const FetchOutcome outcome = fetchConfigFile(source(), name, path, run_.log());
    if (outcome != FetchOutcome::Fetched) {
        run_.dialogs().showError(configFetchProblem(outcome, name, source()));
        return false;
    }
    TrustOptions options;
    options.required =
        run_.options().isSet(QStringLiteral("require-signature")) || policyRequiresSignature();
    options.allowOlderSet = run_.options().isSet(QStringLiteral("allow-older-set"));
    const ConfigTrust trust =
        checkConfigTrust(source(), QString::fromLatin1(kConfigFileName), path, options, run_.log());
    if (trust == ConfigTrust::Refused) {
        run_.dialogs().showError(QStringLiteral("the configuration's signature was refused"));
        return false;
    }
    config.openConfig(path);
    config.setSigned(trust == ConfigTrust::Signed);
    return true;
}

QString ServerFiles::fetch(const QString& serverName, const QString& what) {
    const QString localPath = localPathFor(serverName, what);
    if (localPath.isEmpty()) {
        return {};
    }
    if (!source().fetchFile(serverName, localPath)) {
        run_.dialogs().showError(QStringLiteral("could not fetch the %1 '%2' from %3")
                                     .arg(what, serverName, sourceDescription(source())) +
                                 reasonSuffix(source()));
        return {};
    }
    return localPath;
}

QString ServerFiles::localPathFor(const QString& serverName, const QString& what) {
    const ServerSettings& settings = server_.settings();
    if (!folderSource_ && !settings.problem.isEmpty()) {
        run_.dialogs().showError(settings.problem);
        return {};
    }
    if (!folder_.isValid()) {
        run_.dialogs().showError(QStringLiteral("no private temporary folder: ") +
                                 folder_.errorString());
        return {};
    }
    QString problem;
    const QString localPath = localPathForServerName(folder_.path(), serverName, &problem);
    if (localPath.isEmpty()) {
        run_.dialogs().showError(
            QStringLiteral("the %1 name '%2' is unusable: %3").arg(what, serverName, problem));
        return {};
    }
    return localPath;
}

}  // namespace verimant::cli
