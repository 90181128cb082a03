#pragma once

#include "update/ftp_limits.h"
#include "update/ftp_reply.h"
#include "update/server_settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QDeadlineTimer;
class QFile;
class QTcpSocket;

namespace verimant {

// What an outcome was about; the numbers are the ones the update-server client keys its result
// flag on.
enum class FtpOperation : int {
    ChangeFolder = 0,
    CreateFolder = 1,
    Delete = 2,
    RemoveFolder = 3,
    Retrieve = 9,
    Append = 10,
    OtherCommand = 14,
    PrintFolder = 15,
};

// Outcomes as callbacks, bound by the update-server client. onFailure reports what the server
// refused, or what broke inside a transfer, with the operation's kind; a failure that is not of
// an operation (no connection, a lost or silent control connection outside a transfer) only
// makes the operation return false.
struct FtpEvents {
    std::function<void(FtpOperation)> onSuccess;
    std::function<void(FtpOperation)> onFailure;
    // The server refused the account or its password.
    std::function<void()> onAuthenticationFailed;
    std::function<void()> onPacketRecvd;
    std::function<void()> onPacketSent;
};

// The client side of FTP for exactly what the update server needs, on one control connection and
// passive data connections. Each operation returns when it is done while the calling thread's
// event loop keeps running, so a window stays alive during a transfer.
//
// Every operation returns true on success and false on failure; errorText() then says why.
class FtpClient {
public:
    explicit FtpClient(ServerSettings settings, FtpLimits limits = {});
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    void setEvents(FtpEvents events);
    void setLimits(FtpLimits limits);
    const ServerSettings& settings() const { return settings_; }

    bool logIn();
    bool logOut();
    // 1 "TYPE A", 2 "TYPE I", 3 "TYPE L 8".
    bool setTransferType(int type);
    bool changeFolder(const QString& folder);
    bool createFolder(const QString& folder);
    // Any single-line command; its kind comes from its first word.
    bool sendCommand(const QString& command);
    // Downloads `remoteName` into `localPath`. The file appears under `localPath` only when the
    // whole transfer succeeded: a failed download leaves no file and no previous file changed.
    // Where the server states the file's size, a download of another length has failed. A file
    // longer than `maxBytes` (or the limits' maxFileBytes, whichever is less) fails, with
    // tooLarge(), before more than that has come.
    bool retrieveFile(const QString& remoteName, const QString& localPath, qint64 maxBytes = -1);
    // Appends the local file to `remoteName`, or to a file of the local file's own name.
    bool appendToRemote(const QString& localPath, const QString& remoteName = QString());

    bool isConnected() const;
    qint64 receivedBytes() const { return receivedBytes_; }
    qint64 sentBytes() const { return sentBytes_; }
    const FtpReply& lastReply() const { return lastReply_; }
    const QString& errorText() const { return errorText_; }
    // True when the last failure was a wait that ran out.
    bool timedOut() const { return timedOut_; }
    // True when the last download failed for its length.
    bool tooLarge() const { return tooLarge_; }

    // The kind of a command by its first word ("PWD" only as the whole command).
    static FtpOperation operationOf(const QString& command);

private:
    bool fail(const QString& text);
    bool failOperation(FtpOperation kind, const QString& text);
    bool connectSocket(QTcpSocket& socket, const QString& host, quint16 port);
    bool sendLine(const QString& line);
    bool readReply();
    bool readLine(QByteArray& line, const QDeadlineTimer& deadline);
    qint64 statedSize(const QString& remoteName);
    void discardPendingInput();
    void closeControl();
    bool authenticate();
    bool commandReply(const QString& command, FtpOperation kind);
    bool openPassiveData(FtpOperation kind, QTcpSocket& data);
    bool receiveInto(QTcpSocket& data, QFile& file, qint64 statedBytes, qint64 maxBytes);
    bool failTooLarge(FtpOperation kind);
    bool failStalledTransfer(const TransferPace& pace, qint64 movedBytes);
    bool sendFrom(QFile& file, QTcpSocket& data);
    bool finalReply(FtpOperation kind);

    ServerSettings settings_;
    FtpLimits limits_;
    FtpEvents events_;
    std::unique_ptr<QTcpSocket> control_;
    bool connected_ = false;
    FtpReply lastReply_;
    QString errorText_;
    bool timedOut_ = false;
    bool tooLarge_ = false;
    qint64 receivedBytes_ = 0;
    qint64 sentBytes_ = 0;
};

}  // namespace verimant
