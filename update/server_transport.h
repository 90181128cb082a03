#pragma once

#include "update/server_settings.h"
#include "update/transfer_events.h"
#include "update/transfer_limits.h"

#include <QByteArray>
#include <QString>

#include <curl/curl.h>

#include <atomic>

class QFile;

namespace verimant {

class CurlWorker;
class FtpDialogue;
class PartFile;

// The update server's transport, on libcurl: FTP, FTP over TLS and HTTPS, through the proxy the
// environment names. Every operation is one connection of its own, from login to QUIT, run on a
// thread of its own; it returns when it is done while the calling thread's event loop keeps
// running, so a window stays alive and cancel() can end a transfer. Outcomes and progress are
// reported on the calling thread. Data connections go to the control connection's peer
// only, files move in binary, and every wait has a limit.
//
// Every operation returns true on success and false on failure; errorText() then says why, never
// with the password.
class ServerTransport {
public:
    // Where a failed operation stopped.
    enum class Stop {
        None,
        // No connection, a refused login, or a certificate that does not check.
        Connection,
        // The server would not transfer in binary.
        BinaryMode,
        // A folder along the path could not be entered or made.
        Folder,
        // The transfer itself: a refused file, a short or too long one, a stall.
        Transfer,
    };

    explicit ServerTransport(ServerSettings settings, TransferLimits limits = {});
    ~ServerTransport();
    ServerTransport(const ServerTransport&) = delete;
    ServerTransport& operator=(const ServerTransport&) = delete;

    void setEvents(TransferEvents events) { events_ = std::move(events); }
    void setLimits(TransferLimits limits) { limits_ = limits; }
    const ServerSettings& settings() const { return settings_; }

    // Downloads the "\"-separated `remotePath` into `localPath`. The file appears under
    // `localPath` only when the whole transfer succeeded: a failed download leaves no file and no
    // previous file changed. Where the server states the file's size, a download of another
    // length has failed.
    // `maxBytes` (when not negative) lowers the limits' longest file for this download.
    bool fetch(const QString& remotePath, const QString& localPath, qint64 maxBytes = -1);
    // Enters every folder of `remotePath`, making the missing ones.
    bool makeFolders(const QString& remotePath);
    // Appends the local file to `remotePath`, making missing folders on the way.
    bool append(const QString& remotePath, const QString& localPath);
    // The size the server states for `remotePath`, or -1. Reports no outcomes.
    qint64 remoteSize(const QString& remotePath);
    // Ends the running operation as a failure; nothing when none runs.
    void cancel();

    qint64 receivedBytes() const { return receivedBytes_; }
    qint64 sentBytes() const { return sentBytes_; }
    const QString& errorText() const { return errorText_; }
    // True when the last failure was a wait that ran out.
    bool timedOut() const { return timedOut_; }
    // True when the last download failed for being longer than it may be.
    bool tooLarge() const { return tooLarge_; }
    Stop stop() const { return stop_; }
    // The server's last reply line on the control connection, or the status a web server gave.
    const QString& lastReply() const { return lastReply_; }
    // The proxy the operations go through, without credentials; empty for none.
    QString proxyText() const;

private:
    struct Job;

    bool perform(Job& job);
    void configure(CURL* easy, Job& job, char* errorBuffer);
    bool finish(Job& job, CURL* easy, CURLcode result, const char* errorBuffer);
    Stop stopOf(CURL* easy, CURLcode result) const;
    QString describe(CURLcode result, const char* errorBuffer) const;
    bool failEarly(FtpOperation kind, const QString& why);
    bool stoppedByOperator() const;

    void postProgress(std::function<void()> TransferEvents::*event);
    static size_t onWrite(char* data, size_t size, size_t count, void* self);
    static size_t onDiscard(char* data, size_t size, size_t count, void* self);
    static size_t onRead(char* data, size_t size, size_t count, void* self);
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* self);

    ServerSettings settings_;
    TransferLimits limits_;
    TransferEvents events_;
    Job* job_ = nullptr;
    CurlWorker* worker_ = nullptr;
    // Relays the dialogue's outcomes from the transfer's thread to the caller's.
    TransferEvents relayed_;
    FtpDialogue* dialogue_ = nullptr;
    std::atomic<qint64> receivedBytes_ = 0;
    std::atomic<qint64> sentBytes_ = 0;
    std::atomic<bool> progressPosted_ = false;
    QString errorText_;
    QString lastReply_;
    bool timedOut_ = false;
    bool tooLarge_ = false;
    Stop stop_ = Stop::None;
};

}  // namespace verimant
