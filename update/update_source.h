#pragma once

#include <QString>
#include <QtGlobal>

namespace verimant {

struct DeviceInfo;

enum class FetchOutcome { Fetched, Failed, TooLarge };

// Where a run's files come from and where its report goes: the update server, or a folder laid
// out like it (the offline set). Chosen once per run; the configuration, base and upgrade code
// only ever talk to this.
class UpdateSource {
public:
    virtual ~UpdateSource() = default;

    // Brings the file known on the server as `serverName` ("\"-separated folders) to `localPath`,
    // whole or not at all: a failed fetch leaves no file there. Failures are logged.
    bool fetchFile(const QString& serverName, const QString& localPath) {
        return fetchFileUpTo(serverName, localPath, -1) == FetchOutcome::Fetched;
    }
    // The same for a file that may be at most `maxBytes` long (-1: the source's own limit); a
    // longer one is refused before more than that has been brought.
    virtual FetchOutcome fetchFileUpTo(const QString& serverName, const QString& localPath,
                                       qint64 maxBytes) = 0;
    // Writes the log's report (to `localPath`, or the source's own choice for an empty one) and
    // appends it to `fileName` in the instrument's folder below `baseFolder`.
    virtual bool uploadReport(const QString& localPath, const QString& baseFolder,
                              const QString& fileName) = 0;
    // Bytes the next fetch is expected to have, for the progress bar; 0 shows no progress.
    virtual void setProgressTotal(qint64 bytes) = 0;
    // The instrument whose folder reports go to; nullptr means none was read.
    virtual void setDeviceInfo(const DeviceInfo* info) = 0;
    // The source for logs and messages: "ftp://user@host:port" or the folder; never a password.
    virtual QString displayText() const = 0;
    virtual bool isFolder() const = 0;
    // Whether the last failed fetch failed because the source definitely has no such file, as
    // opposed to one it has but would not or could not hand over. Only the first may count as
    // "not published".
    virtual bool lastFetchFoundNoFile() const { return false; }
    // The source as trust is remembered for it: the server's address without credentials, or the
    // folder's canonical path.
    virtual QString trustIdentity() const { return displayText(); }
    // Why the last failed fetch or report failed, in the server's or the transport's own words
    // (a "530 ..." reply, a refused connection, an unusable address); empty when unknown.
    virtual QString lastFailure() const { return {}; }
};

// The folder VERIMANT_UPDATE_SOURCE names; empty when the update server is the source.
QString updateSourceFolderFromEnvironment();

}  // namespace verimant
