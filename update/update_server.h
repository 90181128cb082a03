#pragma once

#include "update/report_outbox.h"
#include "update/server_settings.h"
#include "update/server_transport.h"
#include "update/update_source.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace verimant {

class ActivityLog;
struct DeviceInfo;

// The tool's only way to the update server: one connection per operation (so every operation
// starts in the account's login folder and ends with QUIT, on success and failure alike), folders
// walked and created along a "\"-separated remote path, progress and status texts through the
// installed ProgressView, and the per-instrument report folders. Failures are logged (in Russian,
// as the server's operators read them) and returned as false; nothing throws. Runs on the calling
// thread, whose event loop keeps running during every wait.
class UpdateServer : public UpdateSource {
public:
    explicit UpdateServer(ActivityLog& log, ServerSettings settings = updateServerSettings(),
                          TransferLimits limits = {});
    ~UpdateServer() override;
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    // Makes sure every folder of `remotePath` exists, creating the missing ones in order.
    bool makeFolders(const QString& remotePath);
    // Downloads `remoteName` into `localPath`. A failed download leaves no file at `localPath`.
    FetchOutcome fetchFileUpTo(const QString& remoteName, const QString& localPath,
                               qint64 maxBytes) override;
    // Appends the local file's content to the remote file `remotePath`.
    bool appendFile(const QString& remotePath, const QString& localPath);
    // makeFolders, then up to `attempts` appends, 500 ms apart (the window keeps working).
    bool appendWithRetries(const QString& remotePath, const QString& localPath, int attempts);
    // The size the server states for `remoteName`, or -1 when it states none; for a progress
    // total only. Logs nothing.
    qint64 remoteSize(const QString& remoteName);
    // The connected instrument's report folder below `baseFolder`, with a trailing "\":
    // base\1_23\45xxx\6xx\ for 1-23-45678, base\__no_number\ without a usable serial number.
    QString instrumentFolder(const QString& baseFolder) const;
    // Writes the log's report file (the tool's temporary folder's log.txt for an empty
    // `localPath`) and appends it, 3 attempts, to instrumentFolder(baseFolder) + fileName, after
    // the reports waiting in the outbox. A report that could not be appended waits there.
    bool uploadReport(const QString& localPath, const QString& baseFolder,
                      const QString& fileName) override;

    // The instrument whose folder reports go to; nullptr (the default) means none was read.
    // The DeviceInfo must outlive this object or be unset first.
    void setDeviceInfo(const DeviceInfo* info) override { deviceInfo_ = info; }
    // Bytes the next download is expected to have, for the progress bar; 0 shows no progress.
    void setProgressTotal(qint64 bytes) override { progressTotal_ = bytes; }
    qint64 progressTotal() const { return progressTotal_; }
    // 0 pending, 1 success, -1 failure reported by the client, -2 failure raised by it.
    int resultFlag() const { return resultFlag_; }

    // Sends the outbox's reports, oldest first, each removed once the server confirmed it; true
    // when none is left waiting.
    bool sendWaitingReports();
    // The outbox's folder; ReportOutbox::defaultFolder() until set.
    void setOutboxFolder(const QString& folder) { outboxFolder_ = folder; }

    // Where uploadReport writes log.txt for an empty local path; the tool's temporary folder
    // until set.
    void setReportFolder(const QString& folder) { reportFolder_ = folder; }

    const ServerSettings& settings() const { return transport_->settings(); }
    QString displayText() const override { return settings().displayText(); }
    bool isFolder() const override { return false; }
    bool lastFetchFoundNoFile() const override { return lastFetchFoundNoFile_; }
    QString trustIdentity() const override;
    QString lastFailure() const override;
    ServerTransport& transport() { return *transport_; }
    // Ends the running transfer as a failure (the window's cancel).
    void cancel() { transport_->cancel(); }

private:
    void FtpClient1Success(FtpOperation kind);
    void FtpClient1Failure(FtpOperation kind);
    void FtpClient1AuthenticationFailed();
    void FtpClient1PacketRecvd();
    void FtpClient1PacketSent();
    void showProgress(qint64 bytes);
    // Clears the result flag, runs one operation and records how it ended.
    template <typename Operation>
    void runFlagged(Operation operation);
    // What every operation logs before it starts: an unusable server setting, the proxy.
    void logRoute();
    // The connection and binary-mode failures, which stop any operation alike; true when the
    // failure was one of them.
    bool logConnectionFailure(const ServerTransport& transport);

    // Where reports go: the server itself, else (a read-only https set) VERIMANT_REPORT_URL.
    ServerTransport* reportTransport();

    ActivityLog& log_;
    std::unique_ptr<ServerTransport> transport_;
    std::unique_ptr<ServerTransport> reportTransport_;
    bool proxyLogged_ = false;
    const DeviceInfo* deviceInfo_ = nullptr;
    qint64 progressTotal_ = 0;
    int resultFlag_ = 0;
    QString reportFolder_;
    bool lastFetchFoundNoFile_ = false;
    QString outboxFolder_ = ReportOutbox::defaultFolder();
};

// The folder text above for any DeviceInfo (nullptr: none read).
QString instrumentFolderFor(const QString& baseFolder, const DeviceInfo* info);

// The remote path's folders (the pieces before each "\") and its file name (after the last).
QStringList remoteFolders(const QString& remotePath);
QString remoteFileName(const QString& remotePath);

}  // namespace verimant
