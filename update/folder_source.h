#pragma once

#include "update/update_source.h"

namespace verimant {

class ActivityLog;

// A folder laid out like the update server: a file the server knows as "fw\kmt2.hex" is
// folder/fw/kmt2.hex, and the reports go to folder/log4/... as they would on the server. Nothing
// is read or written outside the folder, through a name or through a symbolic link in it.
class FolderSource final : public UpdateSource {
public:
    FolderSource(ActivityLog& log, QString folder);

    FetchOutcome fetchFileUpTo(const QString& serverName, const QString& localPath,
                               qint64 maxBytes) override;
    bool uploadReport(const QString& localPath, const QString& baseFolder,
                      const QString& fileName) override;
    void setProgressTotal(qint64) override {}
    void setDeviceInfo(const DeviceInfo* info) override { deviceInfo_ = info; }
    QString displayText() const override { return folder_; }
    bool isFolder() const override { return true; }
    bool lastFetchFoundNoFile() const override { return lastFetchFoundNoFile_; }
    QString trustIdentity() const override;

    const QString& folder() const { return folder_; }

private:
    // The path of `serverName` inside the folder, or empty with the refusal logged.
    QString confinedPath(const QString& serverName);

    ActivityLog& log_;
    QString folder_;
    const DeviceInfo* deviceInfo_ = nullptr;
    bool lastFetchFoundNoFile_ = false;
};

// The path a server name has inside `folder` when neither the name nor a symbolic link on the
// way leads out of it; empty, with the reason in `problem`, otherwise.
QString confinedFolderPath(const QString& folder, const QString& serverName, QString* problem);

// Copies `from` to `to` through a neighbouring part file, so `to` appears only whole; an older
// `to` is replaced. False, with nothing left at `to`, when it fails or `from` grows beyond
// `maxBytes` (-1: no bound).
bool copyWhole(const QString& from, const QString& to, qint64 maxBytes = -1);

}  // namespace verimant
