// The transport over TLS against real servers started here: vsftpd for FTP over TLS, Python's
// https server for a read-only set, tinyproxy for the operator's proxy. Certificates are made by
// the test; one for another name or from another authority must stop the run before the account
// is sent.
#include "base/activity_log.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_environment.h"
#include "tests/support/tls_test_servers.h"
#include "update/server_transport.h"
#include "update/update_server.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QUrl>

#include <cstdlib>

namespace verimant::test {
namespace {

const QString kDemoSet = QStringLiteral(VERIMANT_SOURCE_DIR "/examples/update-server");
const QString kPassword = QStringLiteral("Tls-Pa55:w@rd");
constexpr TransferLimits kLimits{5000, 5000, 5000};

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class SecureTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = testRootDir();
        QString why;
        ASSERT_TRUE(certificates.make(root + "/certs", &why)) << why.toStdString();
        setenv("VERIMANT_CA_FILE", certificates.caFile.toUtf8().constData(), 1);
        for (const char* name : {"https_proxy", "HTTPS_PROXY", "ftp_proxy", "FTP_PROXY",
                                 "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
            unsetenv(name);
    }
    void TearDown() override { unsetenv("VERIMANT_CA_FILE"); }

    QString root;
    TestCertificates certificates;
    ScriptedDialogs dialogs;
    ActivityLog log;
};

TEST_F(SecureTransportTest, FtpOverTlsServesOnlyACertificateThatChecksAndNeverSendsThePassword) {
    if (geteuid() != 0)
        GTEST_SKIP() << "vsftpd needs root";
    struct Case {
        const char* name;
        QString cert;
        QString key;
        bool served;
    };
    const Case cases[] = {
        {"the trusted authority's certificate for 127.0.0.1", certificates.goodCert,
         certificates.goodKey, true},
        {"a certificate for another name", certificates.otherNameCert, certificates.otherNameKey,
         false},
        {"a certificate from another authority", certificates.foreignCert, certificates.foreignKey,
         false},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString served = root + QStringLiteral("/ftps%1").arg(++round);
        QDir().mkpath(served);
        QFile::copy(kDemoSet + "/verimant_version_3.ini", served + "/verimant_version_3.ini");
        FtpsTestServer server(served);
        QString why;
        ASSERT_TRUE(server.start(c.cert, c.key, &why)) << why.toStdString();
        const auto settings = parseServerAddress(server.url(kPassword));
        ASSERT_TRUE(settings);
        UpdateServer updateServer(log, *settings, kLimits);
        const QString local = root + QStringLiteral("/fetched%1.ini").arg(round);
        EXPECT_EQ(updateServer.fetchFile(QStringLiteral("verimant_version_3.ini"), local),
                  c.served);
        EXPECT_EQ(fileBytes(local), c.served ? fileBytes(served + "/verimant_version_3.ini")
                                             : QByteArray("<missing>"));
        const QByteArray commands = fileBytes(server.logFile());
        EXPECT_TRUE(commands.contains("AUTH TLS")) << commands.toStdString();
        EXPECT_EQ(commands.contains("\"USER root\""), c.served);
        EXPECT_EQ(commands.contains("PASS"), c.served);
        if (c.served) {
            // Reports go the same way, into folders made on the way.
            const QString report = root + QStringLiteral("/report.txt");
            QFile file(report);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("report over TLS\n");
            file.close();
            EXPECT_TRUE(updateServer.appendWithRetries("log4\\1_23\\rep.txt", report, 1));
            EXPECT_EQ(fileBytes(served + "/log4/1_23/rep.txt"), QByteArray("report over TLS\n"));
        } else {
            EXPECT_EQ(updateServer.transport().stop(), ServerTransport::Stop::Connection);
        }
        EXPECT_FALSE(updateServer.transport().errorText().contains(kPassword));
    }
    EXPECT_FALSE(log.lines().join('\n').contains(kPassword));
}

// A read-only set on a web server, reached directly and through the operator's proxy; reports
// then go to the report address beside it.
TEST_F(SecureTransportTest, HttpsSetIsFetchedDirectlyAndThroughTheProxyAndReportsGoBeside) {
    const QString uploads = root + "/uploads";
    HttpsTestServer web(kDemoSet, uploads);
    QString why;
    ASSERT_TRUE(web.start(certificates.goodCert, certificates.goodKey, &why)) << why.toStdString();
    ProxyTestServer proxy(root + "/proxy");
    ASSERT_TRUE(proxy.start(&why)) << why.toStdString();
    setenv("VERIMANT_REPORT_URL", (web.url() + "reports/").toUtf8().constData(), 1);
    struct Case {
        const char* name;
        bool throughProxy;
    };
    for (const Case& c : {Case{"direct", false}, Case{"through the proxy", true}}) {
        SCOPED_TRACE(c.name);
        // The proxy's own account never reaches the log.
        if (c.throughProxy)
            setenv(
                "https_proxy",
                proxy.url().replace("http://", "http://agent:proxy-secret@").toUtf8().constData(),
                1);
        ActivityLog runLog;
        UpdateServer updateServer(runLog, *parseServerAddress(web.url()), kLimits);
        const QString local = root + "/web.ini";
        QFile::remove(local);
        EXPECT_TRUE(updateServer.fetchFile(QStringLiteral("verimant_version_3.ini"), local));
        EXPECT_EQ(fileBytes(local), fileBytes(kDemoSet + "/verimant_version_3.ini"));
        EXPECT_EQ(updateServer.remoteSize(QStringLiteral("verimant_sn_base.bin")),
                  QFile(kDemoSet + "/verimant_sn_base.bin").size());
        // An error page is no file.
        EXPECT_FALSE(updateServer.fetchFile(QStringLiteral("missing.bin"), root + "/missing"));
        EXPECT_FALSE(QFile::exists(root + "/missing"));

        const QString report = root + "/report.txt";
        QFile file(report);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(c.name) + "\n");
        file.close();
        EXPECT_TRUE(updateServer.appendWithRetries("log4\\1_23\\rep.txt", report, 1));
        const QString lines = runLog.lines().join('\n');
        EXPECT_EQ(lines.contains(QStringLiteral("Через прокси-сервер: ") + proxy.url()),
                  c.throughProxy);
        EXPECT_FALSE(lines.contains(QStringLiteral("proxy-secret")));
    }
    EXPECT_EQ(fileBytes(uploads + "/reports/log4/1_23/rep.txt"),
              QByteArray("direct\nthrough the proxy\n"));
    const QByteArray proxied = fileBytes(proxy.logFile());
    EXPECT_TRUE(proxied.contains("CONNECT")) << proxied.toStdString();
    EXPECT_TRUE(proxied.contains(QUrl(web.url()).authority().toUtf8()));
    unsetenv("VERIMANT_REPORT_URL");
    unsetenv("https_proxy");

    // A web server whose certificate does not check serves nothing.
    for (const auto& [cert, key] :
         {std::pair{certificates.otherNameCert, certificates.otherNameKey},
          std::pair{certificates.foreignCert, certificates.foreignKey}}) {
        SCOPED_TRACE(cert.toStdString());
        HttpsTestServer untrusted(kDemoSet, uploads);
        ASSERT_TRUE(untrusted.start(cert, key, &why)) << why.toStdString();
        UpdateServer updateServer(log, *parseServerAddress(untrusted.url()), kLimits);
        EXPECT_FALSE(updateServer.fetchFile(QStringLiteral("verimant_version_3.ini"),
                                            root + "/untrusted.ini"));
        EXPECT_EQ(updateServer.transport().stop(), ServerTransport::Stop::Connection);
        EXPECT_FALSE(QFile::exists(root + "/untrusted.ini"));
    }
}

}  // namespace
}  // namespace verimant::test
