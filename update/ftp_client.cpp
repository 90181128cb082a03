#include "update/ftp_client.h"

#include "platform/cp1251.h"
#include "platform/event_wait.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>

namespace verimant {

namespace {

constexpr qint64 kChunkBytes = 65536;
// A server that never ends a line or a reply must not fill the memory.
constexpr qint64 kMaxReplyLineBytes = 8192;
constexpr int kMaxReplyLines = 1000;
// What the control connection holds unread, such as lines a server pours in during a transfer;
// beyond it the server has to wait.
constexpr qint64 kControlBufferBytes = 65536;

bool isBetween(int code, int low, int high) {
    return code >= low && code <= high;
}

// A line break inside a name would let the server's own file names smuggle in commands.
bool breaksCommandLine(const QString& text) {
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
           text.contains(QChar(0));
}

// A download's file while it arrives: a new name beside the target, created exclusively (so never
// through an existing file or link), removed unless committed. Committing renames it over the
// target; rename() replaces a link there instead of writing through it.
class PartFile : public QFile {
public:
    explicit PartFile(const QString& target) : target_(target) {
        const QFileInfo info(target);
        if (info.fileName().isEmpty())
            return;
        for (int attempt = 0; attempt < 16 && !isOpen(); ++attempt) {
            setFileName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                        QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate()));
            open(QIODevice::WriteOnly | QIODevice::NewOnly);
        }
    }
    ~PartFile() override {
        if (!committed_ && isOpen()) {
            close();
            remove();
        }
    }
    bool commit() {
        if (!flush())
            return false;
        close();
        committed_ = std::rename(QFile::encodeName(fileName()).constData(),
                                 QFile::encodeName(target_).constData()) == 0;
        if (!committed_)
            remove();
        return committed_;
    }

private:
    QString target_;
    bool committed_ = false;
};

}  // namespace

FtpClient::FtpClient(ServerSettings settings, FtpLimits limits)
    : settings_(std::move(settings)), limits_(limits) {}

FtpClient::~FtpClient() {
    closeControl();
}

void FtpClient::setEvents(FtpEvents events) {
    events_ = std::move(events);
}

void FtpClient::setLimits(FtpLimits limits) {
    limits_ = limits;
}

bool FtpClient::isConnected() const {
    return connected_ && control_ && control_->state() == QAbstractSocket::ConnectedState;
}

FtpOperation FtpClient::operationOf(const QString& command) {
    const QString word = command.section(QLatin1Char(' '), 0, 0).toUpper();
    if (word == QLatin1String("CWD"))
        return FtpOperation::ChangeFolder;
    if (word == QLatin1String("MKD"))
        return FtpOperation::CreateFolder;
    if (word == QLatin1String("DELE"))
        return FtpOperation::Delete;
    if (word == QLatin1String("RMD"))
        return FtpOperation::RemoveFolder;
    if (command.toUpper() == QLatin1String("PWD"))
        return FtpOperation::PrintFolder;
    return FtpOperation::OtherCommand;
}

bool FtpClient::fail(const QString& text) {
    errorText_ = text;
    return false;
}

bool FtpClient::failOperation(FtpOperation kind, const QString& text) {
    errorText_ = text;
    if (events_.onFailure)
        events_.onFailure(kind);
    return false;
}

void FtpClient::closeControl() {
    connected_ = false;
    if (control_)
        control_->abort();
}

bool FtpClient::connectSocket(QTcpSocket& socket, const QString& host, quint16 port) {
    socket.connectToHost(host, port);
    const bool settled = pumpEventsUntil(
        [&socket] {
            const auto state = socket.state();
            return state == QAbstractSocket::ConnectedState ||
                   state == QAbstractSocket::UnconnectedState;
        },
        limits_.connectMs);
    if (socket.state() == QAbstractSocket::ConnectedState)
        return true;
    if (!settled) {
        timedOut_ = true;
        const bool lookingUp = socket.state() == QAbstractSocket::HostLookupState;
        socket.abort();
        return fail(lookingUp ? QStringLiteral("Host Lookup Timed Out")
                              : QStringLiteral("Connection Timed out"));
    }
    if (socket.error() == QAbstractSocket::HostNotFoundError)
        return fail(QStringLiteral("Host Lookup Failed"));
    return fail(QStringLiteral("Connection Failed"));
}

bool FtpClient::sendLine(const QString& line) {
    if (breaksCommandLine(line))
        return fail(QStringLiteral("Line break in a command"));
    const QByteArray bytes = encodeCp1251(line) + "\r\n";
    if (control_->write(bytes) != bytes.size()) {
        closeControl();
        return fail(QStringLiteral("Connection Lost"));
    }
    return true;
}

bool FtpClient::readLine(QByteArray& line, const QDeadlineTimer& deadline) {
    QTcpSocket& socket = *control_;
    const bool ready = pumpEventsUntil(
        [&socket] {
            return socket.canReadLine() || socket.bytesAvailable() > kMaxReplyLineBytes ||
                   socket.state() != QAbstractSocket::ConnectedState;
        },
        static_cast<int>(deadline.remainingTime()));
    if (socket.canReadLine()) {
        line = socket.readLine(kMaxReplyLineBytes + 1);
        if (line.endsWith('\n'))
            return true;
    } else if (!ready) {
        timedOut_ = true;
        closeControl();
        return fail(QStringLiteral("Reply Timed out"));
    } else if (socket.bytesAvailable() > 0 && socket.bytesAvailable() <= kMaxReplyLineBytes) {
        // The server closed after a last line without its line feed.
        line = socket.readAll();
        return true;
    } else if (socket.bytesAvailable() == 0) {
        closeControl();
        return fail(QStringLiteral("Connection Closed"));
    }
    closeControl();
    return fail(QStringLiteral("Reply Too Long"));
}

bool FtpClient::readReply() {
    if (!control_)
        return fail(QStringLiteral("Not Connected"));
    // One deadline for the whole reply: a server dripping continuation lines cannot stretch it.
    const QDeadlineTimer deadline(limits_.idleMs);
    FtpReplyReader reader;
    QByteArray line;
    while (!reader.complete()) {
        if (reader.lineCount() >= kMaxReplyLines) {
            closeControl();
            return fail(QStringLiteral("Reply Too Long"));
        }
        if (!readLine(line, deadline))
            return false;
        reader.addLine(line);
    }
    lastReply_ = reader.reply();
    return true;
}

void FtpClient::discardPendingInput() {
    if (control_)
        control_->readAll();
}

bool FtpClient::logIn() {
    errorText_.clear();
    timedOut_ = false;
    if (isConnected())
        return fail(QStringLiteral("Already connected"));
    if (settings_.host.isEmpty())
        return fail(QStringLiteral("Host Lookup Failed"));
    control_ = std::make_unique<QTcpSocket>();
    control_->setReadBufferSize(kControlBufferBytes);
    if (!connectSocket(*control_, settings_.host, settings_.port))
        return false;
    connected_ = true;
    if (authenticate())
        return true;
    const QString why = errorText_;
    const bool timedOut = timedOut_;
    logOut();
    errorText_ = why;
    timedOut_ = timedOut;
    return false;
}

bool FtpClient::authenticate() {
    if (!readReply())  // the greeting, whatever it says
        return false;
    discardPendingInput();
    if (!sendLine(QStringLiteral("USER ") + settings_.user) || !readReply())
        return false;
    auto refused = [this] {
        if (events_.onAuthenticationFailed)
            events_.onAuthenticationFailed();
        return fail(lastReply_.text);
    };
    if (isBetween(lastReply_.code, 401, 599))
        return refused();
    if (lastReply_.code != 331)
        return true;
    if (!sendLine(QStringLiteral("PASS ") + settings_.password) || !readReply())
        return false;
    if (isBetween(lastReply_.code, 401, 599))
        return refused();
    return true;
}

bool FtpClient::logOut() {
    // What failed before the logout stays readable in errorText().
    if (!isConnected()) {
        closeControl();
        return true;
    }
    discardPendingInput();
    const bool answered = sendLine(QStringLiteral("QUIT")) && readReply();
    closeControl();
    if (!answered)
        return false;
    if (isBetween(lastReply_.code, 301, 599))
        return fail(lastReply_.text);
    return true;
}

bool FtpClient::commandReply(const QString& command, FtpOperation kind) {
    errorText_.clear();
    timedOut_ = false;
    if (!isConnected())
        return fail(QStringLiteral("Not Connected"));
    if (breaksCommandLine(command))
        return fail(QStringLiteral("Line break in a command"));
    discardPendingInput();
    if (!sendLine(command) || !readReply())
        return false;
    if (isBetween(lastReply_.code, 400, 599))
        return failOperation(kind, lastReply_.text);
    if (events_.onSuccess)
        events_.onSuccess(kind);
    return true;
}

bool FtpClient::sendCommand(const QString& command) {
    return commandReply(command, operationOf(command));
}

bool FtpClient::setTransferType(int type) {
    static const char* const kTypes[] = {"TYPE A", "TYPE I", "TYPE L 8"};
    if (type < 1 || type > 3)
        return fail(QStringLiteral("Unknown transfer type"));
    return sendCommand(QString::fromLatin1(kTypes[type - 1]));
}

bool FtpClient::changeFolder(const QString& folder) {
    return commandReply(QStringLiteral("CWD ") + folder, FtpOperation::ChangeFolder);
}

bool FtpClient::createFolder(const QString& folder) {
    return commandReply(QStringLiteral("MKD ") + folder, FtpOperation::CreateFolder);
}

bool FtpClient::openPassiveData(FtpOperation kind, QTcpSocket& data) {
    if (!sendLine(QStringLiteral("PASV")) || !readReply())
        return failOperation(kind, errorText_);
    if (lastReply_.code > 499)
        return failOperation(kind, lastReply_.text);
    const auto port = passiveDataPort(lastReply_.text);
    if (!port)
        return failOperation(kind, QStringLiteral("Bad passive reply: ") + lastReply_.text);
    // The address in the reply is ignored: a server must not be able to point the tool elsewhere.
    if (!connectSocket(data, control_->peerAddress().toString(), *port))
        return failOperation(kind, errorText_);
    return true;
}

bool FtpClient::failStalledTransfer(const TransferPace& pace, qint64 movedBytes) {
    timedOut_ = true;
    // The server still owes the transfer's reply; only a new login is in step again.
    closeControl();
    return fail(pace.tooSlow(movedBytes) ? QStringLiteral("Transfer Too Slow")
                                         : QStringLiteral("Transfer Timed out"));
}

bool FtpClient::receiveInto(QTcpSocket& data, QFile& file, qint64 statedBytes, qint64 maxBytes) {
    const qint64 mostBytes = statedBytes >= 0 ? statedBytes : maxBytes;
    const TransferPace pace(limits_);
    for (;;) {
        const int waitMs = pace.nextWaitMs(receivedBytes_);
        const bool ready =
            waitMs > 0 && pumpEventsUntil(
                              [&data] {
                                  return data.bytesAvailable() > 0 ||
                                         data.state() != QAbstractSocket::ConnectedState;
                              },
                              waitMs);
        if (!ready)
            return failStalledTransfer(pace, receivedBytes_);
        while (data.bytesAvailable() > 0) {
            const QByteArray chunk = data.read(kChunkBytes);
            if (file.write(chunk) != chunk.size())
                return fail(QStringLiteral("Cannot write ") + file.fileName());
            receivedBytes_ += chunk.size();
            if (receivedBytes_ > mostBytes) {
                tooLarge_ = statedBytes < 0;
                return fail(statedBytes >= 0 ? QStringLiteral("File longer than its stated size")
                                             : QStringLiteral("File too large"));
            }
            if (events_.onPacketRecvd)
                events_.onPacketRecvd();
        }
        if (data.state() != QAbstractSocket::ConnectedState)
            return true;
    }
}

bool FtpClient::sendFrom(QFile& file, QTcpSocket& data) {
    const TransferPace pace(limits_);
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(kChunkBytes);
        if (chunk.isEmpty())
            return fail(QStringLiteral("Cannot read ") + file.fileName());
        if (data.write(chunk) != chunk.size())
            return fail(QStringLiteral("Data Connection Lost"));
        const int waitMs = pace.nextWaitMs(sentBytes_);
        const bool drained =
            waitMs > 0 && pumpEventsUntil(
                              [&data] {
                                  return data.bytesToWrite() == 0 ||
                                         data.state() != QAbstractSocket::ConnectedState;
                              },
                              waitMs);
        if (!drained)
            return failStalledTransfer(pace, sentBytes_);
        if (data.state() != QAbstractSocket::ConnectedState)
            return fail(QStringLiteral("Data Connection Lost"));
        sentBytes_ += chunk.size();
        if (events_.onPacketSent)
            events_.onPacketSent();
    }
    return true;
}

bool FtpClient::finalReply(FtpOperation kind) {
    if (!readReply())
        return failOperation(kind, errorText_);
    // A server that aborted the transfer says so here (426, 451 ...), after the data
    // connection closed as if the file had ended.
    if (isBetween(lastReply_.code, 400, 599))
        return failOperation(kind, lastReply_.text);
    return true;
}

qint64 FtpClient::statedSize(const QString& remoteName) {
    // Asked without outcome events: a server that does not know SIZE is served as before.
    if (!sendLine(QStringLiteral("SIZE ") + remoteName) || !readReply())
        return -1;
    if (lastReply_.code != 213)
        return -1;
    bool numeric = false;
    const qint64 size = lastReply_.text.mid(4).trimmed().toLongLong(&numeric);
    return numeric && size >= 0 ? size : -1;
}

bool FtpClient::failTooLarge(FtpOperation kind) {
    tooLarge_ = true;
    return failOperation(kind, QStringLiteral("File too large"));
}

bool FtpClient::retrieveFile(const QString& remoteName, const QString& localPath, qint64 maxBytes) {
    constexpr FtpOperation kind = FtpOperation::Retrieve;
    errorText_.clear();
    timedOut_ = false;
    tooLarge_ = false;
    const qint64 mostBytes =
        maxBytes >= 0 ? std::min(maxBytes, limits_.maxFileBytes) : limits_.maxFileBytes;
    if (!isConnected())
        return fail(QStringLiteral("Not Connected"));
    if (breaksCommandLine(remoteName))
        return failOperation(kind, QStringLiteral("Line break in a file name"));
    discardPendingInput();
    receivedBytes_ = 0;
    sentBytes_ = 0;
    PartFile part(localPath);
    if (!part.isOpen())
        return failOperation(kind, QStringLiteral("Cannot create ") + localPath);

    // A length the server states but the data does not match is a transfer that went wrong,
    // an ASCII conversion of the line ends among others.
    const qint64 statedBytes = statedSize(remoteName);
    if (!isConnected())
        return failOperation(kind, errorText_);
    if (statedBytes > mostBytes)
        return failTooLarge(kind);

    QTcpSocket data;
    // Unread data waits in the server, not here: the reply to RETR may be a long time coming.
    data.setReadBufferSize(limits_.dataBufferBytes);
    if (!openPassiveData(kind, data))
        return false;
    if (!sendLine(QStringLiteral("RETR ") + remoteName) || !readReply())
        return failOperation(kind, errorText_);
    if (isBetween(lastReply_.code, 301, 599)) {
        data.abort();
        return failOperation(kind, lastReply_.text);
    }
    const bool alreadyDone = isBetween(lastReply_.code, 200, 299);
    const bool received = receiveInto(data, part, statedBytes, mostBytes);
    data.abort();
    if (!received)
        return failOperation(kind, errorText_);
    if (!alreadyDone && !finalReply(kind))
        return false;
    if (statedBytes >= 0 && receivedBytes_ != statedBytes)
        return failOperation(kind, QStringLiteral("File shorter than its stated size"));
    if (!part.commit())
        return failOperation(kind, QStringLiteral("Cannot write ") + localPath);
    if (events_.onSuccess)
        events_.onSuccess(kind);
    return true;
}

bool FtpClient::appendToRemote(const QString& localPath, const QString& remoteName) {
    constexpr FtpOperation kind = FtpOperation::Append;
    errorText_.clear();
    timedOut_ = false;
    if (!isConnected())
        return fail(QStringLiteral("Not Connected"));
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return failOperation(kind, QStringLiteral("Cannot open ") + localPath);
    const QString remote = remoteName.isEmpty() ? QFileInfo(localPath).fileName() : remoteName;
    if (breaksCommandLine(remote))
        return failOperation(kind, QStringLiteral("Line break in a file name"));
    discardPendingInput();
    sentBytes_ = 0;

    QTcpSocket data;
    if (!openPassiveData(kind, data))
        return false;
    if (!sendLine(QStringLiteral("APPE ") + remote) || !readReply())
        return failOperation(kind, errorText_);
    if (isBetween(lastReply_.code, 301, 599)) {
        data.abort();
        return failOperation(kind, lastReply_.text);
    }
    const bool alreadyDone = isBetween(lastReply_.code, 200, 299);
    if (!sendFrom(file, data)) {
        data.abort();
        return failOperation(kind, errorText_);
    }
    // A graceful close, unlike the download's, so the file's last bytes reach the server.
    data.disconnectFromHost();
    const bool closed = pumpEventsUntil(
        [&data] { return data.state() == QAbstractSocket::UnconnectedState; }, limits_.idleMs);
    if (!closed) {
        timedOut_ = true;
        data.abort();
        closeControl();
        return failOperation(kind, QStringLiteral("Transfer Timed out"));
    }
    if (!alreadyDone && !finalReply(kind))
        return false;
    if (events_.onSuccess)
        events_.onSuccess(kind);
    return true;
}

}  // namespace verimant
