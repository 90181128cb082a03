#include "tests/support/ftp_test_server.h"

#include "tests/support/server_process_stop.h"

#include <QTcpSocket>
#include <QUrl>

#include <cstdlib>

namespace verimant::test {

namespace {

// Binding port 0 inside the server and printing what it got avoids the race of picking a free
// port first and binding it later.
constexpr char kServerScript[] = R"(
import logging, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

root, user, password = sys.argv[1:4]
logging.basicConfig(level=logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")

class Handler(FTPHandler):
    def decode(self, data):
        return data.decode("cp1251", self.unicode_errors)

Handler.authorizer = authorizer
server = FTPServer(("127.0.0.1", 0), Handler)
print("PORT", server.socket.getsockname()[1], flush=True)
server.serve_forever()
)";

constexpr int kStartMs = 15000;

bool acceptsConnections(quint16 port) {
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), port);
    const bool accepted = probe.waitForConnected(kStartMs);
    probe.abort();
    return accepted;
}

}  // namespace

FtpTestServer::FtpTestServer(QString rootFolder, QString user, QString password)
    : rootFolder_(std::move(rootFolder)), user_(std::move(user)), password_(std::move(password)) {}

FtpTestServer::~FtpTestServer() {
    stop();
}

bool FtpTestServer::start(QString* error) {
    auto failed = [this, error](const QString& why) {
        if (error)
            *error = why;
        stop();
        return false;
    };
    stop();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"), QString::fromLatin1(kServerScript), rootFolder_, user_, password_});
    if (!process_->waitForStarted(kStartMs))
        return failed(QStringLiteral("/usr/bin/python3 did not start"));
    QByteArray line;
    while (!line.contains('\n')) {
        if (!process_->waitForReadyRead(kStartMs))
            return failed(QStringLiteral("pyftpdlib did not start: ") +
                          QString::fromLocal8Bit(process_->readAllStandardError()));
        line += process_->readAllStandardOutput();
    }
    const QList<QByteArray> words = line.trimmed().split(' ');
    bool numeric = false;
    const uint port = words.size() == 2 ? words[1].toUInt(&numeric) : 0;
    if (words.value(0) != "PORT" || !numeric || port == 0 || port > 65535)
        return failed(QStringLiteral("unexpected start line: ") + QString::fromLatin1(line));
    port_ = static_cast<quint16>(port);
    if (!acceptsConnections(port_))
        return failed(QStringLiteral("pyftpdlib does not accept connections"));
    return true;
}

void FtpTestServer::stop() {
    stopServerProcess(process_);
}

bool FtpTestServer::isRunning() const {
    return process_ && process_->state() == QProcess::Running;
}

QString FtpTestServer::url() const {
    QUrl url;
    url.setScheme(QStringLiteral("ftp"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(port_);
    url.setUserName(user_);
    url.setPassword(password_);
    return url.toString(QUrl::FullyEncoded);
}

void FtpTestServer::exportToEnvironment() const {
    setenv("VERIMANT_UPDATE_SERVER", url().toUtf8().constData(), 1);
}

}  // namespace verimant::test
