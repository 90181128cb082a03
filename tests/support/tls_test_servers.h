#pragma once

#include <QProcess>
#include <QString>

#include <memory>

namespace verimant::test {

// A test certificate authority and certificates it signs, made with openssl in `folder`: one for
// 127.0.0.1, one for another name, and one for 127.0.0.1 from a second authority the tests do not
// trust.
struct TestCertificates {
    QString folder;
    QString caFile;    // the trusted authority's certificate
    QString goodCert;  // 127.0.0.1, from the trusted authority
    QString goodKey;
    QString otherNameCert;  // other.example, from the trusted authority
    QString otherNameKey;
    QString foreignCert;  // 127.0.0.1, from an authority nobody trusts
    QString foreignKey;

    bool make(const QString& folder, QString* error);
};

// A program started by a test on 127.0.0.1, stopped with the object.
class TestServerProcess {
public:
    TestServerProcess() = default;
    ~TestServerProcess();
    TestServerProcess(const TestServerProcess&) = delete;
    TestServerProcess& operator=(const TestServerProcess&) = delete;

    // Starts `program` and returns once `port` accepts connections.
    bool start(const QString& program, const QStringList& arguments, quint16 port, QString* error);
    void stop();
    quint16 port() const { return port_; }

private:
    std::unique_ptr<QProcess> process_;
    quint16 port_ = 0;
};

// A port nothing listens on at the moment.
quint16 freeLocalPort();

// Debian's vsftpd serving `root` over explicit TLS with `cert`/`key`, to the account "root" with
// any password (its own PAM service). Needs root, as vsftpd does. Every command it receives goes
// to logFile().
class FtpsTestServer {
public:
    explicit FtpsTestServer(QString root) : root_(std::move(root)) {}
    ~FtpsTestServer();
    bool start(const QString& cert, const QString& key, QString* error);
    QString url(const QString& password) const;
    QString logFile() const { return root_ + QStringLiteral(".log"); }

private:
    QString root_;
    QString pamService_;
    TestServerProcess process_;
};

// Python's http.server with ssl, serving `root` read-only; POST appends the body to the file the
// path names below `uploads`.
class HttpsTestServer {
public:
    HttpsTestServer(QString root, QString uploads)
        : root_(std::move(root)), uploads_(std::move(uploads)) {}
    bool start(const QString& cert, const QString& key, QString* error);
    QString url() const;

private:
    QString root_;
    QString uploads_;
    TestServerProcess process_;
};

// Debian's tinyproxy on 127.0.0.1, logging every connection to logFile().
class ProxyTestServer {
public:
    explicit ProxyTestServer(QString folder) : folder_(std::move(folder)) {}
    bool start(QString* error);
    QString url() const;
    QString logFile() const { return folder_ + QStringLiteral("/tinyproxy.log"); }

private:
    QString folder_;
    TestServerProcess process_;
};

}  // namespace verimant::test
