#include "update/server_transport.h"

#include "device/write_cancel.h"
#include "platform/cp1251.h"
#include "update/curl_worker.h"
#include "update/ftp_dialogue.h"
#include "update/part_file.h"
#include "update/server_url.h"

#include <QFile>

#include <memory>
#include <mutex>

namespace verimant {

namespace {

// A line break would end a command early and let the rest be a command of its own.
bool breaksCommandLine(const QString& text) {
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
           text.contains(QChar(0));
}

constexpr long kBufferBytes = 128 * 1024;
constexpr long kAddressRaceMs = 1;
// curl's own timer shortens this wait whenever it has something to do sooner.
constexpr int kPollMs = 1000;
// With FTP over TLS, curl 7.88 can leave a control reply unread while the data connection's
// handshake is pending, until it looks again on its own: it is made to look often.
constexpr int kTlsControlPollMs = 20;
// The caller's own last resort behind curl's deadline.
constexpr qint64 kLoopSlackMs = 5000;

long wholeSeconds(int ms) {
    return std::max(1L, static_cast<long>((ms + 999) / 1000));
}

using EasyHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

}  // namespace

struct ServerTransport::Job {
    FtpOperation kind = FtpOperation::OtherCommand;
    QByteArray url;
    PartFile* target = nullptr;
    QFile* source = nullptr;
    qint64 uploadBytes = 0;
    bool sizeOnly = false;
    bool makeFolders = false;
    // The longest file this download may bring; 0 until the operation starts: the limits' own.
    qint64 maxBytes = 0;
    bool tooLarge = false;
    bool writeFailed = false;
    bool longerThanStated = false;
    qint64 statedBytes = -1;
    curl_slist* sizeQuery = nullptr;
    ~Job() { curl_slist_free_all(sizeQuery); }
};

ServerTransport::ServerTransport(ServerSettings settings, TransferLimits limits)
    : settings_(std::move(settings)), limits_(limits) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    const auto relay = [this](std::function<void(const TransferEvents&)> call) {
        worker_->post([this, call] { call(events_); });
    };
    relayed_.onSuccess = [relay](FtpOperation kind) {
        relay([kind](const TransferEvents& events) {
            if (events.onSuccess)
                events.onSuccess(kind);
        });
    };
    relayed_.onFailure = [relay](FtpOperation kind) {
        relay([kind](const TransferEvents& events) {
            if (events.onFailure)
                events.onFailure(kind);
        });
    };
    relayed_.onAuthenticationFailed = [relay] {
        relay([](const TransferEvents& events) {
            if (events.onAuthenticationFailed)
                events.onAuthenticationFailed();
        });
    };
}

ServerTransport::~ServerTransport() = default;

QString ServerTransport::proxyText() const {
    return proxyFor(serverUrl(settings_, QString()));
}

void ServerTransport::cancel() {
    if (worker_)
        worker_->cancel();
}

bool ServerTransport::failEarly(FtpOperation kind, const QString& why) {
    errorText_ = why;
    stop_ = Stop::Transfer;
    if (events_.onFailure)
        events_.onFailure(kind);
    return false;
}

bool ServerTransport::fetch(const QString& remotePath, const QString& localPath, qint64 maxBytes) {
    constexpr FtpOperation kind = FtpOperation::Retrieve;
    receivedBytes_ = 0;
    sentBytes_ = 0;
    // A name without a file would ask for a listing of the folder instead.
    const QString fileName = remotePath.section(QLatin1Char('\\'), -1);
    if (fileName.isEmpty())
        return failEarly(kind, QStringLiteral("No file name"));
    if (breaksCommandLine(remotePath))
        return failEarly(kind, QStringLiteral("Line break in a file name"));
    PartFile part(localPath);
    if (!part.isOpen())
        return failEarly(kind, QStringLiteral("Cannot create ") + localPath);
    Job job;
    job.kind = kind;
    job.url = serverUrl(settings_, remotePath);
    job.target = &part;
    if (maxBytes >= 0)
        job.maxBytes = std::min(maxBytes, limits_.maxFileBytes);
    if (settings_.isFtp()) {
        // Asked apart from curl's own SIZE, which would cut a longer file at the stated length
        // and take it as whole; the "*" lets a server that does not know SIZE serve as before.
        const QByteArray query = "*SIZE " + encodeCp1251(fileName);
        job.sizeQuery = curl_slist_append(nullptr, query.constData());
    }
    if (!perform(job))
        return false;
    if (!part.commit())
        return failEarly(kind, QStringLiteral("Cannot write ") + localPath);
    if (events_.onSuccess)
        events_.onSuccess(kind);
    return true;
}

bool ServerTransport::makeFolders(const QString& remotePath) {
    errorText_.clear();
    stop_ = Stop::None;
    // A web server makes what a POST names itself.
    if (!settings_.isFtp())
        return true;
    const QString folders = remotePath.section(QLatin1Char('\\'), 0, -2);
    Job job;
    job.kind = FtpOperation::CreateFolder;
    job.url = serverUrl(settings_, folders.isEmpty() ? QString() : folders + QLatin1Char('\\'));
    job.sizeOnly = true;
    job.makeFolders = true;
    return perform(job);
}

bool ServerTransport::append(const QString& remotePath, const QString& localPath) {
    constexpr FtpOperation kind = FtpOperation::Append;
    receivedBytes_ = 0;
    sentBytes_ = 0;
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return failEarly(kind, QStringLiteral("Cannot open ") + localPath);
    Job job;
    job.kind = kind;
    job.url = serverUrl(settings_, remotePath);
    job.source = &file;
    job.uploadBytes = file.size();
    job.makeFolders = true;
    if (!perform(job))
        return false;
    if (events_.onSuccess)
        events_.onSuccess(kind);
    return true;
}

qint64 ServerTransport::remoteSize(const QString& remotePath) {
    if (remotePath.section(QLatin1Char('\\'), -1).isEmpty())
        return -1;
    const TransferEvents events = std::exchange(events_, TransferEvents{});
    Job job;
    job.url = serverUrl(settings_, remotePath);
    job.sizeOnly = true;
    const bool answered = perform(job);
    events_ = events;
    return answered ? job.statedBytes : -1;
}

bool ServerTransport::perform(Job& job) {
    errorText_.clear();
    lastReply_.clear();
    timedOut_ = false;
    tooLarge_ = false;
    if (job.maxBytes <= 0)
        job.maxBytes = limits_.maxFileBytes;
    stop_ = Stop::None;
    if (breaksCommandLine(settings_.user) || breaksCommandLine(settings_.password)) {
        errorText_ = QStringLiteral("Line break in the account");
        stop_ = Stop::Connection;
        return false;
    }
    EasyHandle easy(curl_easy_init(), &curl_easy_cleanup);
    if (!easy) {
        errorText_ = QStringLiteral("curl could not start");
        stop_ = Stop::Connection;
        return false;
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};
    FtpDialogue dialogue(relayed_);
    CurlWorker worker;
    job_ = &job;
    dialogue_ = &dialogue;
    worker_ = &worker;
    configure(easy.get(), job, errorBuffer);
    const qint64 bytes = job.source ? job.uploadBytes : job.maxBytes;
    const CURLcode result = worker.run(
        easy.get(),
        static_cast<int>(std::min<qint64>(limits_.overallMs(bytes) + kLoopSlackMs, INT_MAX)),
        settings_.scheme == ServerScheme::FtpTls ? kTlsControlPollMs : kPollMs);
    const bool done = finish(job, easy.get(), result, errorBuffer);
    job_ = nullptr;
    dialogue_ = nullptr;
    worker_ = nullptr;
    return done;
}

void ServerTransport::configure(CURL* easy, Job& job, char* errorBuffer) {
    const bool ftp = settings_.isFtp();
    curl_easy_setopt(easy, CURLOPT_URL, job.url.constData());
    // Nothing the server says can send the tool to another protocol or host.
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, ftp ? "ftp" : "https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kBufferBytes);
    // curl starts a passive data connection only when its happy-eyeballs timer next runs: left at
    // 200 ms that wait would be most of a small download's time.
    curl_easy_setopt(easy, CURLOPT_HAPPY_EYEBALLS_TIMEOUT_MS, kAddressRaceMs);
    if (!settings_.user.isEmpty()) {
        // Given apart from the address, so neither reaches an error text or a log.
        curl_easy_setopt(easy, CURLOPT_USERNAME, settings_.user.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, settings_.password.toUtf8().constData());
    }
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connectMs));
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, wholeSeconds(limits_.idleMs));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(limits_.minBytesPerSecond));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, wholeSeconds(limits_.transferGraceMs));
    const qint64 bytes = job.source ? job.uploadBytes : job.maxBytes;
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(limits_.overallMs(bytes)));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(job.maxBytes));
    const QByteArray caFile = qgetenv("VERIMANT_CA_FILE");
    if (!caFile.isEmpty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.constData());
    if (ftp) {
        curl_easy_setopt(easy, CURLOPT_FTP_SKIP_PASV_IP, 1L);
        curl_easy_setopt(easy, CURLOPT_FTP_USE_EPSV, 0L);
        curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, 0L);
        if (settings_.scheme == ServerScheme::FtpTls) {
            curl_easy_setopt(easy, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
            curl_easy_setopt(easy, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        }
        if (job.makeFolders)
            curl_easy_setopt(easy, CURLOPT_FTP_CREATE_MISSING_DIRS,
                             static_cast<long>(CURLFTP_CREATE_DIR_RETRY));
        curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, &ServerTransport::onDebug);
        curl_easy_setopt(easy, CURLOPT_DEBUGDATA, this);
    }
    // An error page is no file.
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, ftp ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &ServerTransport::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    if (job.sizeOnly) {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        // Asked for its size only, libcurl hands over an FTP file's size as header lines, and
        // without a sink of ours it writes them to standard output, into a --json document.
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &ServerTransport::onDiscard);
    } else if (job.source && !ftp) {
        // A web server takes a report as a POST to its name, to be added to what it holds.
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(job.uploadBytes));
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, &ServerTransport::onRead);
        curl_easy_setopt(easy, CURLOPT_READDATA, this);
    } else if (job.source) {
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(easy, CURLOPT_APPEND, 1L);
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(job.uploadBytes));
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, &ServerTransport::onRead);
        curl_easy_setopt(easy, CURLOPT_READDATA, this);
    } else {
        if (job.sizeQuery) {
            curl_easy_setopt(easy, CURLOPT_PREQUOTE, job.sizeQuery);
            curl_easy_setopt(easy, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
        }
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &ServerTransport::onWrite);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    }
}

bool ServerTransport::finish(Job& job, CURL* easy, CURLcode result, const char* errorBuffer) {
    lastReply_ = dialogue_->lastReply();
    if (settings_.isFtp()) {
        job.statedBytes = dialogue_->statedSize();
    } else {
        curl_off_t length = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        job.statedBytes = length;
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (status != 0)
            lastReply_ = QString::number(status);
    }
    if (result == CURLE_OK && job.target && job.statedBytes >= 0 &&
        receivedBytes_ != job.statedBytes) {
        errorText_ = receivedBytes_ < job.statedBytes
                         ? QStringLiteral("File shorter than its stated size")
                         : QStringLiteral("File longer than its stated size");
        stop_ = Stop::Transfer;
        if (events_.onFailure)
            events_.onFailure(job.kind);
        return false;
    }
    if (result == CURLE_OK)
        return true;
    timedOut_ = result == CURLE_OPERATION_TIMEDOUT;
    tooLarge_ = job.tooLarge || result == CURLE_FILESIZE_EXCEEDED;
    errorText_ = describe(result, errorBuffer);
    stop_ = stopOf(easy, result);
    if (stop_ == Stop::Transfer && events_.onFailure && !job.sizeOnly)
        events_.onFailure(job.kind);
    return false;
}

ServerTransport::Stop ServerTransport::stopOf(CURL* easy, CURLcode result) const {
    if (worker_->cancelled() && !dialogue_->replyTooLong())
        return Stop::Transfer;
    if (settings_.isFtp()) {
        if (!dialogue_->loggedIn())
            return Stop::Connection;
        const QByteArray& command = dialogue_->lastCommand();
        if (command == "TYPE" && result == CURLE_FTP_COULDNT_SET_TYPE)
            return Stop::BinaryMode;
        if (command == "CWD" || command == "MKD")
            return Stop::Folder;
        return Stop::Transfer;
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    return status == 0 ? Stop::Connection : Stop::Transfer;
}

QString ServerTransport::describe(CURLcode result, const char* errorBuffer) const {
    if (job_->tooLarge)
        return QStringLiteral("File too large");
    if (job_->longerThanStated)
        return QStringLiteral("File longer than its stated size");
    if (job_->writeFailed)
        return QStringLiteral("Cannot write ") + job_->target->fileName();
    if (dialogue_->replyTooLong())
        return QStringLiteral("Reply Too Long");
    if (stoppedByOperator())
        return QStringLiteral("Stopped by the operator");
    if (worker_->cancelled())
        return QStringLiteral("Cancelled");
    switch (result) {
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_FTP_COULDNT_RETR_FILE:
        case CURLE_FTP_COULDNT_SET_TYPE:
        case CURLE_UPLOAD_FAILED:
        case CURLE_LOGIN_DENIED:
            // The server's own words, as it refused.
            if (!dialogue_->lastReply().isEmpty())
                return dialogue_->lastReply();
            break;
        default:
            break;
    }
    return errorBuffer[0] != 0 ? QString::fromUtf8(errorBuffer)
                               : QString::fromUtf8(curl_easy_strerror(result));
}

void ServerTransport::postProgress(std::function<void()> TransferEvents::*event) {
    // One report waits at a time: it reads the counters when it runs, so reports that pile up
    // behind a busy window would only repeat it.
    if (progressPosted_.exchange(true))
        return;
    worker_->post([this, event] {
        progressPosted_ = false;
        if (events_.*event)
            (events_.*event)();
    });
}

size_t ServerTransport::onDiscard(char*, size_t size, size_t count, void*) {
    return size * count;
}

size_t ServerTransport::onWrite(char* data, size_t, size_t count, void* self) {
    auto* transport = static_cast<ServerTransport*>(self);
    Job& job = *transport->job_;
    const qint64 after = transport->receivedBytes_ + static_cast<qint64>(count);
    const qint64 stated = transport->dialogue_->statedSize();
    if (after > job.maxBytes || stated > job.maxBytes) {
        job.tooLarge = true;
        return 0;
    }
    if (stated >= 0 && after > stated) {
        job.longerThanStated = true;
        return 0;
    }
    if (job.target->write(data, static_cast<qint64>(count)) != static_cast<qint64>(count)) {
        job.writeFailed = true;
        return 0;
    }
    transport->receivedBytes_ += static_cast<qint64>(count);
    transport->postProgress(&TransferEvents::onPacketRecvd);
    return count;
}

size_t ServerTransport::onRead(char* data, size_t size, size_t count, void* self) {
    auto* transport = static_cast<ServerTransport*>(self);
    const qint64 read = transport->job_->source->read(data, static_cast<qint64>(size * count));
    if (read < 0)
        return CURL_READFUNC_ABORT;
    transport->sentBytes_ += read;
    transport->postProgress(&TransferEvents::onPacketSent);
    return static_cast<size_t>(read);
}

int ServerTransport::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transport = static_cast<ServerTransport*>(self);
    if (transport->stoppedByOperator())
        transport->worker_->cancel();
    return transport->worker_->cancelled() || transport->dialogue_->replyTooLong() ? 1 : 0;
}

// An operator's stop (Ctrl-C, the window's stop or close) ends a download at once rather than
// after the whole set has come. Appends go on: they carry the run's report, which must not be
// lost to the stop that ended the run.
bool ServerTransport::stoppedByOperator() const {
    return job_ != nullptr && job_->target != nullptr && runStopRequested();
}

int ServerTransport::onDebug(CURL*, curl_infotype type, char* data, size_t size, void* self) {
    auto* transport = static_cast<ServerTransport*>(self);
    if (type == CURLINFO_HEADER_OUT) {
        transport->dialogue_->commandSent(QByteArray(data, static_cast<qsizetype>(size)));
    } else if (type == CURLINFO_HEADER_IN) {
        transport->dialogue_->replyLine(QByteArray(data, static_cast<qsizetype>(size)));
        if (transport->dialogue_->replyTooLong())
            transport->worker_->cancel();
    }
    return 0;
}

}  // namespace verimant
