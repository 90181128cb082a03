#include "update/update_server.h"

#include "base/activity_log.h"
#include "base/file_helpers.h"
#include "base/user_dialogs.h"
#include "device/device_info.h"
#include "device/device_text_forms.h"
#include "platform/temp_folder.h"
#include "update/report_outbox.h"

#include <algorithm>

namespace verimant {

namespace {

// 550 covers a missing file, a folder, a refused permission and a path the server will not follow;
// only the server's own words tell the first apart, and nothing but the first may count as absent.
// A web server says it plainly with 404.
bool saysNoSuchFile(const QString& reply) {
    static const QStringList kPhrases{QStringLiteral("no such file"), QStringLiteral("not found"),
                                      QStringLiteral("does not exist"),
                                      QStringLiteral("doesn't exist")};
    if (reply.startsWith(QLatin1String("404")))
        return true;
    if (!reply.startsWith(QLatin1String("550")))
        return false;
    return std::any_of(kPhrases.begin(), kPhrases.end(), [&](const QString& phrase) {
        return reply.contains(phrase, Qt::CaseInsensitive);
    });
}

constexpr int kRetryPauseMs = 500;
constexpr int kReportAttempts = 3;
constexpr char kReportUrlVariable[] = "VERIMANT_REPORT_URL";
const QChar kRemoteSeparator = QLatin1Char('\\');

// The outcomes the result flag follows: folder changes and creations, and the transfers.
bool setsResultFlag(FtpOperation kind) {
    const int number = static_cast<int>(kind);
    return number == 0 || number == 1 || (number >= 8 && number <= 10);
}

}  // namespace

QStringList remoteFolders(const QString& remotePath) {
    QStringList folders = remotePath.split(kRemoteSeparator);
    folders.removeLast();
    folders.removeAll(QString());
    return folders;
}

QString remoteFileName(const QString& remotePath) {
    return remotePath.section(kRemoteSeparator, -1);
}

QString instrumentFolderFor(const QString& baseFolder, const DeviceInfo* info) {
    const QString noNumber = baseFolder + kRemoteSeparator + QStringLiteral("__no_number\\");
    if (info == nullptr || !info->valid)
        return noNumber;
    const QString serial = serialText(info->boardRecord);
    if (serial.size() != 10 ||
        serial.compare(QLatin1String("F-FF-FFFFF"), Qt::CaseInsensitive) == 0)
        return noNumber;
    // 1-23-45678 reports into base\1_23\45xxx\6xx\: a hundred instruments share the last
    // level, a thousand its parent.
    return baseFolder + kRemoteSeparator + serial.at(0) + QLatin1Char('_') + serial.mid(2, 2) +
           kRemoteSeparator + serial.mid(5, 2) + QStringLiteral("xxx") + kRemoteSeparator +
           serial.at(7) + QStringLiteral("xx") + kRemoteSeparator;
}

UpdateServer::UpdateServer(ActivityLog& log, ServerSettings settings, TransferLimits limits)
    : log_(log), transport_(std::make_unique<ServerTransport>(std::move(settings), limits)) {
    TransferEvents events;
    events.onSuccess = [this](FtpOperation kind) { FtpClient1Success(kind); };
    events.onFailure = [this](FtpOperation kind) { FtpClient1Failure(kind); };
    events.onAuthenticationFailed = [this] { FtpClient1AuthenticationFailed(); };
    events.onPacketRecvd = [this] { FtpClient1PacketRecvd(); };
    events.onPacketSent = [this] { FtpClient1PacketSent(); };
    transport_->setEvents(events);
    if (transport_->settings().scheme != ServerScheme::Https)
        return;
    if (const auto report = parseServerAddress(QString::fromUtf8(qgetenv(kReportUrlVariable)))) {
        reportTransport_ = std::make_unique<ServerTransport>(*report, limits);
        reportTransport_->setEvents(std::move(events));
    }
}

ServerTransport* UpdateServer::reportTransport() {
    if (settings().scheme != ServerScheme::Https)
        return transport_.get();
    return reportTransport_.get();
}

UpdateServer::~UpdateServer() = default;

void UpdateServer::FtpClient1Success(FtpOperation kind) {
    if (setsResultFlag(kind))
        resultFlag_ = 1;
}

void UpdateServer::FtpClient1Failure(FtpOperation kind) {
    if (setsResultFlag(kind))
        resultFlag_ = -1;
}

void UpdateServer::FtpClient1AuthenticationFailed() {
    // A refused login ends without a connection; the operation logs that.
}

void UpdateServer::FtpClient1PacketRecvd() {
    showProgress(transport_->receivedBytes());
}

void UpdateServer::FtpClient1PacketSent() {
    showProgress(reportTransport() ? reportTransport()->sentBytes() : 0);
}

void UpdateServer::showProgress(qint64 bytes) {
    if (progressTotal_ == 0)
        return;
    // A file longer than announced would run past the bar's end.
    progressView().setProgress(
        static_cast<int>(std::min<qint64>(bytes * 100 / progressTotal_, 100)));
    progressView().setByteProgress(std::min(bytes, progressTotal_), progressTotal_);
}

template <typename Operation>
void UpdateServer::runFlagged(Operation operation) {
    logRoute();
    resultFlag_ = 0;
    // A failure without an outcome event is one the transport raised: no connection.
    if (!operation() && resultFlag_ == 0)
        resultFlag_ = -2;
}

void UpdateServer::logRoute() {
    if (!settings().problem.isEmpty())
        log_.AddLine(settings().problem);
    if (proxyLogged_)
        return;
    proxyLogged_ = true;
    const QString proxy = transport_->proxyText();
    if (!proxy.isEmpty())
        log_.AddLine(QStringLiteral("Через прокси-сервер: ") + proxy);
}

bool UpdateServer::logConnectionFailure(const ServerTransport& transport) {
    switch (transport.stop()) {
        case ServerTransport::Stop::Connection:
            log_.AddErrorLine(QStringLiteral("Ошибка: Нет соединения с сервером обновлений"), 0);
            return true;
        case ServerTransport::Stop::BinaryMode:
            // Left in ASCII mode the server would convert line ends inside every image it sends.
            log_.AddErrorLine(QStringLiteral("Ошибка FTP: сервер не принял двоичный режим [") +
                                  transport.lastReply() + QLatin1Char(']'),
                              0);
            return true;
        default:
            return false;
    }
}

bool UpdateServer::makeFolders(const QString& remotePath) {
    ServerTransport* destination = reportTransport();
    if (!destination) {
        log_.AddErrorLine(QStringLiteral("Ошибка: не задан адрес для отчётов ") +
                              QString::fromLatin1(kReportUrlVariable),
                          0);
        return false;
    }
    runFlagged([&] { return destination->makeFolders(remotePath); });
    // A path without folders has nothing to make.
    const bool made = destination->stop() == ServerTransport::Stop::None;
    if (!made && !logConnectionFailure(*destination))
        log_.AddErrorLine(QStringLiteral("Ошибка FTP: не создан каталог"), 0);
    return made;
}

FetchOutcome UpdateServer::fetchFileUpTo(const QString& remoteName, const QString& localPath,
                                         qint64 maxBytes) {
    progressView().setStatusText(QStringLiteral("Чтение из сервера [") + remoteName +
                                 QLatin1Char(']'));
    runFlagged([&] { return transport_->fetch(remoteName, localPath, maxBytes); });
    const bool fetched = resultFlag_ == 1 && transport_->stop() == ServerTransport::Stop::None;
    const bool tooLarge = !fetched && transport_->tooLarge();
    lastFetchFoundNoFile_ = !fetched && saysNoSuchFile(transport_->lastReply());
    if (!fetched && !logConnectionFailure(*transport_)) {
        if (transport_->stop() == ServerTransport::Stop::Folder)
            log_.AddErrorLine(QStringLiteral("Ошибка FTP: смена каталога не удалась"), 0);
        log_.AddErrorLine(QStringLiteral("Ошибка получения файла с сервера обновлений [") +
                              remoteName + QLatin1Char(']'),
                          -1);
    }
    progressView().setStatusText(QString());
    if (fetched)
        return FetchOutcome::Fetched;
    return tooLarge ? FetchOutcome::TooLarge : FetchOutcome::Failed;
}

QString UpdateServer::trustIdentity() const {
    return settings().schemeText() +
           QStringLiteral("://%1:%2").arg(settings().host.toLower()).arg(settings().port);
}

QString UpdateServer::lastFailure() const {
    // An unusable address fails every operation before the transport has words of its own.
    if (!settings().problem.isEmpty())
        return settings().problem;
    return transport_->errorText();
}

bool UpdateServer::appendFile(const QString& remotePath, const QString& localPath) {
    ServerTransport* destination = reportTransport();
    if (!destination)
        return false;
    progressTotal_ = fileSize(localPath);
    runFlagged([&] { return destination->append(remotePath, localPath); });
    const bool appended = resultFlag_ == 1 && destination->stop() == ServerTransport::Stop::None;
    if (!appended && !logConnectionFailure(*destination))
        log_.AddErrorLine(QStringLiteral("Ошибка добавления файла на сервера обновлений [") +
                              remotePath + QLatin1Char(']'),
                          -1);
    return appended;
}

bool UpdateServer::appendWithRetries(const QString& remotePath, const QString& localPath,
                                     int attempts) {
    if (remotePath.isEmpty() || localPath.isEmpty())
        return false;
    if (!makeFolders(remotePath))
        return false;
    attempts = std::max(attempts, 1);
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        QString status = QStringLiteral("Добавление на сервер");
        if (attempt > 1)
            status += QStringLiteral(" Попытка ") + QString::number(attempt);
        progressView().setStatusText(status);
        const bool appended = appendFile(remotePath, localPath);
        progressView().setStatusText(QString());
        if (appended)
            return true;
        waitMs(kRetryPauseMs);
    }
    return false;
}

qint64 UpdateServer::remoteSize(const QString& remoteName) {
    logRoute();
    return transport_->remoteSize(remoteName);
}

QString UpdateServer::instrumentFolder(const QString& baseFolder) const {
    return instrumentFolderFor(baseFolder, deviceInfo_);
}

bool UpdateServer::uploadReport(const QString& localPath, const QString& baseFolder,
                                const QString& fileName) {
    QString path = localPath;
    if (path.isEmpty()) {
        // Only a folder checked as this user's own may take the report; an unchecked one could be
        // a link planted by someone else.
        const QString folder = reportFolder_.isEmpty() ? toolTempFolder() : reportFolder_;
        if (folder.isEmpty() || preparePrivateFolder(folder) != PrivateFolderStatus::Ready)
            return false;
        path = folder + QStringLiteral("/log.txt");
    }
    // A report that could not be written must not send an older file's content in its place.
    if (!writeWholeFile(path, log_.reportBytes(), true, false))
        return false;
    const QString remotePath = instrumentFolder(baseFolder) + fileName;
    // What waits goes first, in order: a later report never overtakes an earlier one.
    if (sendWaitingReports() && appendWithRetries(remotePath, path, kReportAttempts))
        return true;
    ReportOutbox outbox(outboxFolder_);
    if (outbox.keep(remotePath, path))
        log_.AddLine(QStringLiteral("Отчёт сохранён для отправки: ") + outbox.folder());
    return false;
}

bool UpdateServer::sendWaitingReports() {
    const ReportOutbox outbox(outboxFolder_);
    for (const ReportOutbox::Entry& entry : outbox.waiting()) {
        // Removed only once the server confirmed the append, so none is lost; one that fails
        // holds the rest back.
        if (!appendWithRetries(entry.remotePath, entry.reportFile, 1) || !outbox.remove(entry))
            return false;
    }
    return true;
}

}  // namespace verimant
