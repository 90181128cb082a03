#pragma once

#include "device/device_info.h"
#include "update/server_settings.h"
#include "update/transfer_limits.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace verimant {

class ActivityLog;
class SerialNumberBase;
class UpdateConfig;
class UpdateServer;
class UpdateSource;
struct FirmwareSet;
struct InstrumentRecord;

// What the configuration says about the tool itself (its PROJECT_MANAGER section).
struct ToolVersionNotice {
    std::int32_t newestVersion = 0;  // parseAppVersion of VERSION_APP; -2 when unreadable
    QString upgradeUrl1;
    QString upgradeUrl2;
    std::int32_t actionIfNeedUpgrade = 0;  // 1: an outdated tool stops
};

// The update side of one run: the server client, the configuration with its catalogue and
// firmware set, the serial-number base, the current instrument record, the packet lists, the
// temporary folder, and what the server says about the tool. Start-up fills it, the upgrade
// workflow and the command-line tool use it, and the end of the run releases it. One object per
// run, used on the thread that created it.
//
// Every accessor is valid for the object's whole life: before start-up has filled something, and
// after release(), it is empty (a closed configuration, a base without records, a cleared record).
class UpdateRun {
public:
    static constexpr char kConfigName[] = "verimant_version_3.ini";

    explicit UpdateRun(ActivityLog& log, ServerSettings settings = updateServerSettings(),
                       TransferLimits limits = {});
    ~UpdateRun();
    UpdateRun(const UpdateRun&) = delete;
    UpdateRun& operator=(const UpdateRun&) = delete;

    ActivityLog& log() { return log_; }
    UpdateServer& server() { return *server_; }
    // Where the run's files come from and its report goes: the update server unless a folder was
    // chosen.
    UpdateSource& source();
    // Makes the folder laid out like the server the run's source; an empty text keeps the server.
    void useFolderSource(const QString& folder);

    // The tool's temporary folder once it has been made private to this user; empty before, so
    // that nothing of the run lands anywhere else.
    const QString& tempFolder() const { return tempFolder_; }
    void setTempFolder(const QString& folder) { tempFolder_ = folder; }
    // Where a file the server names (NAME, BASE_NAME) is kept: inside the temporary folder only.
    // Empty, with the reason in `problem`, for a name that would leave it or without a folder.
    QString localPathFor(const QString& serverName, QString* problem = nullptr) const;
    // The local copy of the configuration; empty without a temporary folder.
    QString configPath() const;

    // Binds the configuration to its local copy (a missing copy makes every key read its default),
    // with an empty firmware set, and empties the packet lists.
    void openConfig();
    // Fetches the configuration to configPath() and judges its signature; false, with the copy
    // gone and the reason logged, when it must not be used.
    bool fetchConfig();
    // Whether the last fetchConfig refused the configuration for its length.
    bool configTooLarge() const { return configTooLarge_; }
    // Why the last fetchConfig could not bring the file, in the source's words; empty when it
    // was brought (and refused, if at all, for its signature) or the source gave no reason.
    const QString& configFetchFailure() const { return configFetchFailure_; }
    // Signatures required by the command line; the machine's policy requires them as well.
    void requireSignature(bool required) { signatureRequired_ = required; }
    // A key's configuration older than the newest it signed that was accepted passes this run.
    void allowOlderSet(bool allowed) { olderSetAllowed_ = allowed; }
    UpdateConfig& config() { return *config_; }
    // The short id of the key that signed the configuration last fetched; empty when unsigned.
    const QString& configKeyId() const { return configKeyId_; }
    FirmwareSet& firmwareSet();
    // The packets of the instrument's language set and their "LANGUAGE:" sections, in step.
    QStringList& packets() { return packets_; }
    QStringList& packetSections() { return packetSections_; }

    // Reads the base from its local copy; one that cannot be read has no records.
    void loadBase(const QString& localPath);
    SerialNumberBase& base() { return *base_; }
    InstrumentRecord& currentRecord() { return *currentRecord_; }

    // The instrument as last read. The report at the end of the run goes to its folder at the
    // source; before a reading it goes to the folder for instruments without a number.
    DeviceInfo& deviceInfo() { return deviceInfo_; }

    ToolVersionNotice& toolVersion() { return toolVersion_; }

    // Frees the configuration, the firmware set, the packet lists and the base. The server
    // client, the temporary folder and the device information stay: the report still needs them.
    void release();

private:
    ActivityLog& log_;
    std::unique_ptr<UpdateServer> server_;
    std::unique_ptr<UpdateSource> folderSource_;
    QString tempFolder_;
    std::unique_ptr<UpdateConfig> config_;
    QStringList packets_;
    QStringList packetSections_;
    std::unique_ptr<SerialNumberBase> base_;
    std::unique_ptr<InstrumentRecord> currentRecord_;
    DeviceInfo deviceInfo_;
    ToolVersionNotice toolVersion_;
    bool signatureRequired_ = false;
    bool olderSetAllowed_ = false;
    bool configSigned_ = false;
    QString configKeyId_;
    bool configTooLarge_ = false;
    QString configFetchFailure_;
};

}  // namespace verimant
