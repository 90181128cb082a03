#include "tests/update/scripted_ftp_server.h"

#include <QHostAddress>

namespace verimant::test {

ScriptedFtpServer::ScriptedFtpServer() {
    replies_ = {
        {"USER", "331 Password required\r\n"},
        {"PASS", "230 Logged in\r\n"},
        {"TYPE", "200 Type set\r\n"},
        {"CWD", "250 Folder changed\r\n"},
        {"MKD", "257 Created\r\n"},
        {"PWD", "257 \"/\" is the current folder\r\n"},
        {"QUIT", "221 Bye\r\n"},
        {"APPE", "150 Ready\r\n"},
    };
    connect(&control_, &QTcpServer::newConnection, this, &ScriptedFtpServer::acceptControl);
    connect(&dataListener_, &QTcpServer::newConnection, this, &ScriptedFtpServer::acceptData);
    control_.listen(QHostAddress::LocalHost, 0);
    connect(&dripTimer_, &QTimer::timeout, this, &ScriptedFtpServer::sendNextDripLine);
    connect(&trickleTimer_, &QTimer::timeout, this, &ScriptedFtpServer::sendTricklePiece);
}

ScriptedFtpServer::~ScriptedFtpServer() {
    // The sockets close as the listeners go, after the members their signals would reach.
    for (QTcpServer* listener : {&control_, &dataListener_})
        for (QObject* socket : listener->children())
            socket->disconnect(this);
}

void ScriptedFtpServer::dripControl(int intervalMs) {
    dripTimer_.setInterval(intervalMs);
}

void ScriptedFtpServer::trickleData(qint64 pieceBytes, int intervalMs) {
    tricklePiece_ = pieceBytes;
    trickleTimer_.setInterval(intervalMs);
}

void ScriptedFtpServer::streamDownload(qint64 maxBytes, bool reply, bool onControl) {
    streamLimit_ = maxBytes;
    streamOnControl_ = onControl;
    if (!reply)
        firstReply_.clear();
}

ServerSettings ScriptedFtpServer::settings() const {
    ServerSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = port();
    settings.user = QStringLiteral("tester");
    settings.password = QStringLiteral("secret");
    return settings;
}

void ScriptedFtpServer::serveDownload(const QByteArray& data, const QByteArray& finalReply,
                                      bool closeData, const QByteArray& firstReply) {
    download_ = data;
    finalReply_ = finalReply;
    closeData_ = closeData;
    firstReply_ = firstReply;
}

QList<QByteArray> ScriptedFtpServer::verbs() const {
    QList<QByteArray> verbs;
    for (const QByteArray& command : commands_)
        verbs << command.split(' ').first();
    return verbs;
}

void ScriptedFtpServer::acceptControl() {
    while (QTcpSocket* socket = control_.nextPendingConnection()) {
        ++connectionCount_;
        if (client_)
            client_->deleteLater();
        client_ = socket;
        input_.clear();
        connect(socket, &QTcpSocket::readyRead, this, &ScriptedFtpServer::readCommands);
        send(greeting_);
    }
}

void ScriptedFtpServer::readCommands() {
    input_ += client_->readAll();
    for (int end = input_.indexOf('\n'); end >= 0; end = input_.indexOf('\n')) {
        QByteArray line = input_.left(end);
        input_.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        commands_ << line;
        answer(line);
    }
}

void ScriptedFtpServer::answer(const QByteArray& line) {
    const QByteArray verb = line.split(' ').first().toUpper();
    if (verb == "PASV") {
        openPassive();
        return;
    }
    if (verb == "RETR") {
        send(firstReply_);
        if (streamOnControl_) {
            startStream(client_);
            return;
        }
        downloadWanted_ = firstReply_.startsWith('1') || streamLimit_ > 0;
        startDownloadWhenReady();
        return;
    }
    if (verb == "APPE")
        uploadWanted_ = true;
    if (!queued_.value(verb).isEmpty()) {
        send(queued_[verb].takeFirst());
        return;
    }
    send(replies_.value(verb, "502 Not implemented\r\n"));
}

void ScriptedFtpServer::openPassive() {
    if (replies_.contains("PASV")) {
        send(replies_.value("PASV"));
        return;
    }
    dataListener_.close();
    dataListener_.listen(QHostAddress::LocalHost, 0);
    const quint16 port = dataListener_.serverPort();
    send("227 Entering Passive Mode (" + passiveAddress_ + ',' + QByteArray::number(port / 256) +
         ',' + QByteArray::number(port % 256) + ")\r\n");
}

void ScriptedFtpServer::acceptData() {
    QTcpSocket* socket = dataListener_.nextPendingConnection();
    if (!socket)
        return;
    data_ = socket;
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (uploadWanted_)
            appended_ += socket->readAll();
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (uploadWanted_) {
            appended_ += socket->readAll();
            uploadWanted_ = false;
            send("226 Appended\r\n");
        }
        socket->deleteLater();
    });
    startDownloadWhenReady();
}

void ScriptedFtpServer::startDownloadWhenReady() {
    if (!downloadWanted_ || !data_)
        return;
    downloadWanted_ = false;
    if (streamLimit_ > 0) {
        startStream(data_);
        return;
    }
    if (tricklePiece_ > 0) {
        trickleOffset_ = 0;
        trickleTimer_.start();
        return;
    }
    data_->write(download_);
    finishDownload();
}

void ScriptedFtpServer::sendTricklePiece() {
    if (!data_ || trickleOffset_ >= download_.size()) {
        trickleTimer_.stop();
        if (data_)
            finishDownload();
        return;
    }
    data_->write(download_.mid(trickleOffset_, tricklePiece_));
    trickleOffset_ += tricklePiece_;
}

void ScriptedFtpServer::startStream(QTcpSocket* socket) {
    streamed_ = 0;
    streamTarget_ = socket;
    connect(socket, &QTcpSocket::bytesWritten, this, [this](qint64 bytes) {
        streamed_ += bytes;
        topUpStream();
    });
    topUpStream();
}

void ScriptedFtpServer::topUpStream() {
    // Only a little is ever queued here, so what the client let through shows in streamed_.
    static const QByteArray block = QByteArray("150-more of the same\r\n").repeated(3000);
    QTcpSocket* socket = streamTarget_;
    if (!socket)
        return;
    const qint64 queued = streamed_ + socket->bytesToWrite();
    if (queued >= streamLimit_) {
        if (socket->bytesToWrite() == 0 && !streamOnControl_)
            finishDownload();
        return;
    }
    if (socket->bytesToWrite() < 4 * block.size())
        socket->write(block.left(std::min<qint64>(block.size(), streamLimit_ - queued)));
}

void ScriptedFtpServer::finishDownload() {
    if (!closeData_)
        return;
    QTcpSocket* data = data_;
    connect(data, &QTcpSocket::disconnected, this, [this] { send(finalReply_); });
    data->disconnectFromHost();
}

void ScriptedFtpServer::send(const QByteArray& text) {
    if (!client_ || text.isEmpty())
        return;
    const QByteArray whole = text.endsWith('\n') ? text : text + "\r\n";
    if (dripTimer_.interval() <= 0) {
        client_->write(whole);
        return;
    }
    for (const QByteArray& line : whole.split('\n'))
        if (!line.isEmpty())
            dripLines_ << line + '\n';
    if (!dripTimer_.isActive())
        dripTimer_.start();
}

void ScriptedFtpServer::sendNextDripLine() {
    if (dripLines_.isEmpty() || !client_) {
        dripTimer_.stop();
        return;
    }
    client_->write(dripLines_.takeFirst());
}

}  // namespace verimant::test
