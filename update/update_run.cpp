#include "update/update_run.h"

#include "base/activity_log.h"
#include "update/config_limits.h"
#include "update/config_trust.h"
#include "update/firmware_set.h"
#include "update/folder_source.h"
#include "update/local_name.h"
#include "update/serial_number_base.h"
#include "update/update_config.h"
#include "update/update_server.h"

namespace verimant {

UpdateRun::UpdateRun(ActivityLog& log, ServerSettings settings, TransferLimits limits)
    : log_(log),
      server_(std::make_unique<UpdateServer>(log, std::move(settings), limits)),
      config_(std::make_unique<UpdateConfig>()),
      base_(std::make_unique<SerialNumberBase>()),
      currentRecord_(std::make_unique<InstrumentRecord>()) {
    server_->setDeviceInfo(&deviceInfo_);
}

UpdateRun::~UpdateRun() {
    server_->setDeviceInfo(nullptr);
}

UpdateSource& UpdateRun::source() {
    if (folderSource_)
        return *folderSource_;
    return *server_;
}

void UpdateRun::useFolderSource(const QString& folder) {
    if (folder.isEmpty()) {
        folderSource_.reset();
        return;
    }
    folderSource_ = std::make_unique<FolderSource>(log_, folder);
    folderSource_->setDeviceInfo(&deviceInfo_);
}

QString UpdateRun::localPathFor(const QString& serverName, QString* problem) const {
    if (tempFolder_.isEmpty()) {
        if (problem) {
            *problem = QStringLiteral("no temporary folder");
        }
        return QString();
    }
    return localPathForServerName(tempFolder_, serverName, problem);
}

QString UpdateRun::configPath() const {
    return localPathFor(QString::fromLatin1(kConfigName));
}

void UpdateRun::openConfig() {
    config_ = std::make_unique<UpdateConfig>();
    config_->openConfig(configPath());
    config_->setSigned(configSigned_);
    packets_.clear();
    packetSections_.clear();
}

bool UpdateRun::fetchConfig() {
    configSigned_ = false;
    const QString name = QString::fromLatin1(kConfigName);
    const QString path = configPath();
    // A policy that cannot be trusted or understood stops the update before anything is fetched.
    const SignaturePolicy policy = loadSignaturePolicy();
    if (!policy.usable()) {
        log_.AddErrorLine(QStringLiteral("ERROR POLICY : ") + policy.problem, 0);
        return false;
    }
    const FetchOutcome outcome = fetchConfigFile(source(), name, path, log_);
    configTooLarge_ = outcome == FetchOutcome::TooLarge;
    configFetchFailure_.clear();
    if (outcome != FetchOutcome::Fetched) {
        configFetchFailure_ = source().lastFailure();
        return false;
    }
    TrustOptions options;
    options.required = signatureRequired_ || policy.requiresSignature();
    options.allowOlderSet = olderSetAllowed_;
    configKeyId_.clear();
    const ConfigTrust trust = checkConfigTrust(source(), name, path, options, log_, &configKeyId_);
    configSigned_ = trust == ConfigTrust::Signed;
    return trust != ConfigTrust::Refused;
}

FirmwareSet& UpdateRun::firmwareSet() {
    return config_->firmwareSet();
}

void UpdateRun::loadBase(const QString& localPath) {
    base_ = std::make_unique<SerialNumberBase>();
    base_->loadBase(localPath);
}

void UpdateRun::release() {
    config_ = std::make_unique<UpdateConfig>();
    packets_.clear();
    packetSections_.clear();
    base_ = std::make_unique<SerialNumberBase>();
    *currentRecord_ = InstrumentRecord{};
}

}  // namespace verimant
