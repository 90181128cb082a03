#include "tests/support/tls_test_servers.h"

#include "tests/support/server_process_stop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

namespace verimant::test {

namespace {

constexpr int kStartMs = 15000;

bool writeText(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

bool runTool(const QString& program, const QStringList& arguments, QString* error) {
    QProcess process;
    process.start(program, arguments);
    if (process.waitForFinished(kStartMs) && process.exitStatus() == QProcess::NormalExit &&
        process.exitCode() == 0)
        return true;
    if (error)
        *error = program + QStringLiteral(" failed: ") +
                 QString::fromLocal8Bit(process.readAllStandardError());
    return false;
}

bool accepts(quint16 port) {
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), port);
    const bool up = probe.waitForConnected(200);
    probe.abort();
    return up;
}

// A key and a certificate for `subject`, signed by `ca` (self-signed as an authority when empty).
bool makeCertificate(const QString& folder, const QString& name, const QString& altName,
                     const QString& ca, QString* error) {
    const QString key = folder + "/" + name + ".key";
    const QString cert = folder + "/" + name + ".pem";
    const QStringList newKey = {"-newkey",    "ec",      "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                "-nodes",     "-keyout", key,        "-subj",
                                "/CN=" + name};
    if (ca.isEmpty())
        return runTool(
            "openssl",
            QStringList{"req", "-x509"} + newKey + QStringList{"-days", "2", "-out", cert}, error);
    const QString request = folder + "/" + name + ".csr";
    const QString extensions = folder + "/" + name + ".ext";
    return writeText(extensions, "subjectAltName=" + altName.toLatin1() + "\n") &&
           runTool("openssl", QStringList{"req", "-new"} + newKey + QStringList{"-out", request},
                   error) &&
           runTool("openssl",
                   {"x509", "-req", "-in", request, "-CA", folder + "/" + ca + ".pem", "-CAkey",
                    folder + "/" + ca + ".key", "-CAcreateserial", "-days", "2", "-extfile",
                    extensions, "-out", cert},
                   error);
}

}  // namespace

bool TestCertificates::make(const QString& where, QString* error) {
    folder = where;
    QDir().mkpath(folder);
    caFile = folder + "/ca.pem";
    goodCert = folder + "/good.pem";
    goodKey = folder + "/good.key";
    otherNameCert = folder + "/othername.pem";
    otherNameKey = folder + "/othername.key";
    foreignCert = folder + "/foreign.pem";
    foreignKey = folder + "/foreign.key";
    return makeCertificate(folder, "ca", {}, {}, error) &&
           makeCertificate(folder, "rogue", {}, {}, error) &&
           makeCertificate(folder, "good", "IP:127.0.0.1", "ca", error) &&
           makeCertificate(folder, "othername", "DNS:other.example", "ca", error) &&
           makeCertificate(folder, "foreign", "IP:127.0.0.1", "rogue", error);
}

quint16 freeLocalPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

TestServerProcess::~TestServerProcess() {
    stop();
}

bool TestServerProcess::start(const QString& program, const QStringList& arguments, quint16 port,
                              QString* error) {
    port_ = port;
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(program, arguments);
    if (!process_->waitForStarted(kStartMs)) {
        if (error)
            *error = program + QStringLiteral(" did not start");
        return false;
    }
    for (int waited = 0; waited < kStartMs; waited += 50) {
        if (accepts(port))
            return true;
        if (process_->state() != QProcess::Running)
            break;
        QThread::msleep(50);
    }
    if (error)
        *error = program + QStringLiteral(" does not accept connections: ") +
                 QString::fromLocal8Bit(process_->readAllStandardOutput());
    stop();
    return false;
}

void TestServerProcess::stop() {
    stopServerProcess(process_);
}

FtpsTestServer::~FtpsTestServer() {
    process_.stop();
    if (!pamService_.isEmpty())
        QFile::remove(QStringLiteral("/etc/pam.d/") + pamService_);
}

bool FtpsTestServer::start(const QString& cert, const QString& key, QString* error) {
    // vsftpd takes a PAM service by name only; this one lets the test's account in with any
    // password, and is removed with the server.
    pamService_ = QStringLiteral("verimant-test-%1").arg(QCoreApplication::applicationPid());
    const QString empty = root_ + QStringLiteral(".empty");
    QDir().mkpath(empty);
    QDir().mkpath(root_);
    const quint16 port = freeLocalPort();
    const QString config = root_ + QStringLiteral(".conf");
    const QByteArray text =
        "listen=YES\nlisten_ipv6=NO\nbackground=NO\nlisten_address=127.0.0.1\n"
        "listen_port=" +
        QByteArray::number(port) +
        "\nanonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\n"
        "chroot_local_user=YES\nallow_writeable_chroot=YES\n"
        "local_root=" +
        root_.toUtf8() + "\npam_service_name=" + pamService_.toUtf8() +
        "\nuserlist_enable=NO\ncheck_shell=NO\nseccomp_sandbox=NO\n"
        "secure_chroot_dir=" +
        empty.toUtf8() +
        "\nssl_enable=YES\nforce_local_logins_ssl=YES\n"
        "force_local_data_ssl=YES\nrequire_ssl_reuse=NO\nrsa_cert_file=" +
        cert.toUtf8() + "\nrsa_private_key_file=" + key.toUtf8() +
        "\nlog_ftp_protocol=YES\nxferlog_enable=YES\nxferlog_std_format=NO\n"
        "vsftpd_log_file=" +
        logFile().toUtf8() + "\n";
    if (!writeText(config, text) ||
        !writeText(QStringLiteral("/etc/pam.d/") + pamService_,
                   "auth required pam_permit.so\naccount required pam_permit.so\n"
                   "session required pam_permit.so\n")) {
        if (error)
            *error = QStringLiteral("cannot write the vsftpd configuration (root needed)");
        return false;
    }
    return process_.start(QStringLiteral("/usr/sbin/vsftpd"), {config}, port, error);
}

QString FtpsTestServer::url(const QString& password) const {
    QUrl url;
    url.setScheme(QStringLiteral("ftpes"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(process_.port());
    url.setUserName(QStringLiteral("root"));
    url.setPassword(password);
    return url.toString(QUrl::FullyEncoded);
}

bool HttpsTestServer::start(const QString& cert, const QString& key, QString* error) {
    static const char script[] = R"(
import http.server, os, ssl, sys
root, uploads, port, cert, key = sys.argv[1:6]
class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *a, **k):
        super().__init__(*a, directory=root, **k)
    def log_message(self, *args):
        pass
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        path = os.path.join(uploads, self.path.lstrip("/").replace("..", "_"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "ab") as f:
            f.write(body)
        self.send_response(201)
        self.send_header("Content-Length", "0")
        self.end_headers()
server = http.server.ThreadingHTTPServer(("127.0.0.1", int(port)), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
server.serve_forever()
)";
    const quint16 port = freeLocalPort();
    return process_.start(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral("-c"), QString::fromLatin1(script), root_, uploads_,
                           QString::number(port), cert, key},
                          port, error);
}

QString HttpsTestServer::url() const {
    return QStringLiteral("https://127.0.0.1:%1/").arg(process_.port());
}

bool ProxyTestServer::start(QString* error) {
    QDir().mkpath(folder_);
    const quint16 port = freeLocalPort();
    const QString config = folder_ + QStringLiteral("/tinyproxy.conf");
    // No ConnectPort line: every port may be tunnelled, the test servers' free ports among them.
    const QByteArray text = "Port " + QByteArray::number(port) +
                            "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\nLogFile \"" +
                            logFile().toUtf8() + "\"\nLogLevel Connect\nMaxClients 10\n";
    if (!writeText(config, text)) {
        if (error)
            *error = QStringLiteral("cannot write the tinyproxy configuration");
        return false;
    }
    return process_.start(QStringLiteral("/usr/bin/tinyproxy"), {"-d", "-c", config}, port, error);
}

QString ProxyTestServer::url() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(process_.port());
}

}  // namespace verimant::test
