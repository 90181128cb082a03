#include "update/update_server.h"

#include "base/activity_log.h"
#include "base/file_helpers.h"
#include "base/user_dialogs.h"
#include "device/device_info.h"
#include "device/device_text_forms.h"
#include "platform/temp_folder.h"

#include <algorithm>

namespace verimant {

namespace {

// 550 covers a missing file, a folder, a refused permission and a path the server will not follow;
// only the server's own words tell the first apart, and nothing but the first may count as absent.
bool saysNoSuchFile(const FtpReply& reply) {
    static const QStringList kPhrases{QStringLiteral("no such file"), QStringLiteral("not found"),
                                      QStringLiteral("does not exist"),
                                      QStringLiteral("doesn't exist")};
    if (reply.code != 550)
        return false;
    return std::any_of(kPhrases.begin(), kPhrases.end(), [&](const QString& phrase) {
        return reply.text.contains(phrase, Qt::CaseInsensitive);
    });
}

constexpr int kRetryPauseMs = 500;
constexpr int kReportAttempts = 3;
constexpr int kTransferTypeImage = 2;
constexpr int kTransferTypeLocal8 = 3;
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

UpdateServer::UpdateServer(ActivityLog& log, ServerSettings settings, FtpLimits limits)
    : log_(log), client_(std::make_unique<FtpClient>(std::move(settings), limits)) {
    FtpEvents events;
    events.onSuccess = [this](FtpOperation kind) { FtpClient1Success(kind); };
    events.onFailure = [this](FtpOperation kind) { FtpClient1Failure(kind); };
    events.onAuthenticationFailed = [this] { FtpClient1AuthenticationFailed(); };
    events.onPacketRecvd = [this] { FtpClient1PacketRecvd(); };
    events.onPacketSent = [this] { FtpClient1PacketSent(); };
    client_->setEvents(std::move(events));
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
    // A refused login ends without a connection; connectServer reports that.
}

void UpdateServer::FtpClient1PacketRecvd() {
    showProgress(client_->receivedBytes());
}

void UpdateServer::FtpClient1PacketSent() {
    showProgress(client_->sentBytes());
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
    resultFlag_ = 0;
    // A failure without an outcome event is one the client raised: lost or silent connection.
    if (!operation() && resultFlag_ == 0)
        resultFlag_ = -2;
}

bool UpdateServer::logInIfNeeded() {
    if (!client_->isConnected()) {
        if (!client_->settings().problem.isEmpty())
            log_.AddLine(client_->settings().problem);
        client_->logIn();
    }
    return client_->isConnected();
}

void UpdateServer::logOut() {
    client_->logOut();
}

bool UpdateServer::useBinaryType() {
    if (client_->setTransferType(kTransferTypeLocal8))
        return true;
    return client_->isConnected() && client_->setTransferType(kTransferTypeImage);
}

bool UpdateServer::connectServer() {
    if (!logInIfNeeded()) {
        log_.AddErrorLine(QStringLiteral("Ошибка: Нет соединения с сервером обновлений"), 0);
        return false;
    }
    if (useBinaryType())
        return true;
    // Left in ASCII mode the server would convert line ends inside every image it sends.
    log_.AddErrorLine(QStringLiteral("Ошибка FTP: сервер не принял двоичный режим [") +
                          client_->errorText() + QLatin1Char(']'),
                      0);
    logOut();
    return false;
}

int UpdateServer::enterFolders(const QString& remotePath) {
    int entered = 0;
    for (const QString& folder : remoteFolders(remotePath)) {
        runFlagged([&] { return client_->changeFolder(folder); });
        if (resultFlag_ != 1) {
            log_.AddErrorLine(QStringLiteral("Ошибка FTP: смена каталога не удалась"), 0);
            return -1;
        }
        ++entered;
    }
    return entered;
}

bool UpdateServer::makeFolders(const QString& remotePath) {
    if (!logInIfNeeded())
        return false;
    // A path without folders has nothing to make.
    resultFlag_ = 1;
    for (const QString& folder : remoteFolders(remotePath)) {
        runFlagged([&] { return client_->changeFolder(folder); });
        if (resultFlag_ != -1)
            continue;
        // A refused MKD is not the end: another run reporting at the same time may have made
        // the folder since the CWD above. Entering it decides.
        runFlagged([&] { return client_->createFolder(folder); });
        runFlagged([&] { return client_->changeFolder(folder); });
        if (resultFlag_ != 1)
            break;
    }
    logOut();
    if (resultFlag_ != 1)
        log_.AddErrorLine(QStringLiteral("Ошибка FTP: не создан каталог"), 0);
    return resultFlag_ == 1;
}

FetchOutcome UpdateServer::fetchFileUpTo(const QString& remoteName, const QString& localPath,
                                         qint64 maxBytes) {
    progressView().setStatusText(QStringLiteral("Чтение из сервера [") + remoteName +
                                 QLatin1Char(']'));
    bool fetched = false;
    bool tooLarge = false;
    lastFetchFoundNoFile_ = false;
    if (connectServer()) {
        if (enterFolders(remoteName) != -1) {
            // Inside the folders only the file's own name is left to ask for; the whole path
            // again would look for the folders a second time below themselves.
            runFlagged([&] {
                return client_->retrieveFile(remoteFileName(remoteName), localPath, maxBytes);
            });
            fetched = resultFlag_ == 1;
            tooLarge = !fetched && client_->tooLarge();
            lastFetchFoundNoFile_ = !fetched && saysNoSuchFile(client_->lastReply());
        }
        if (!fetched)
            log_.AddErrorLine(QStringLiteral("Ошибка получения файла с сервера обновлений [") +
                                  remoteName + QLatin1Char(']'),
                              -1);
        logOut();
    }
    progressView().setStatusText(QString());
    if (fetched)
        return FetchOutcome::Fetched;
    return tooLarge ? FetchOutcome::TooLarge : FetchOutcome::Failed;
}

QString UpdateServer::trustIdentity() const {
    return QStringLiteral("ftp://%1:%2").arg(settings().host.toLower()).arg(settings().port);
}

bool UpdateServer::appendFile(const QString& remotePath, const QString& localPath) {
    if (!connectServer())
        return false;
    bool appended = false;
    if (enterFolders(remotePath) != -1) {
        progressTotal_ = fileSize(localPath);
        runFlagged([&] { return client_->appendToRemote(localPath, remoteFileName(remotePath)); });
        appended = resultFlag_ == 1;
    }
    if (!appended)
        log_.AddErrorLine(QStringLiteral("Ошибка добавления файла на сервера обновлений [") +
                              remotePath + QLatin1Char(']'),
                          -1);
    logOut();
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
    if (!logInIfNeeded())
        return -1;
    qint64 size = -1;
    const QStringList folders = remoteFolders(remoteName);
    const bool entered = useBinaryType() &&
                         std::all_of(folders.begin(), folders.end(),
                                     [this](const QString& f) { return client_->changeFolder(f); });
    if (entered && client_->sendCommand(QStringLiteral("SIZE ") + remoteFileName(remoteName)) &&
        client_->lastReply().code == 213) {
        bool numeric = false;
        const qint64 stated = client_->lastReply().text.mid(4).trimmed().toLongLong(&numeric);
        if (numeric && stated >= 0)
            size = stated;
    }
    logOut();
    return size;
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
    return appendWithRetries(instrumentFolder(baseFolder) + fileName, path, kReportAttempts);
}

}  // namespace verimant
