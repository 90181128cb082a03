// What the tool trusts a fetched configuration for, beyond one signature: a signature that is
// there but cannot be had is no absent one, a source that served a signed configuration never
// serves an unsigned one, and a key's older configuration does not come back.

#include "update/config_trust.h"
#include "base/activity_log.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_environment.h"
#include "update/config_signature.h"
#include "update/folder_source.h"
#include "update/last_config_copy.h"
#include "update/server_settings.h"
#include "update/trust_memory.h"
#include "update/update_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace verimant::test {
namespace {

const QByteArray kConfig = "[PROJECT_MANAGER]\r\nVERSION_APP=1.2.19\r\n";
const QString kName = QStringLiteral("verimant_version_3.ini");
constexpr qint64 kMonday = 1796083200;  // 2026-12-01T00:00:00Z
constexpr qint64 kTuesday = kMonday + 86400;

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray logText(const ActivityLog& log) {
    return log.lines().join(QLatin1Char('\n')).toUtf8();
}

// A set folder served as the Local source and by a real FTP server, and the trusted maker's key.
class ConfigTrustTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = testRootDir() + "/served";
        local = testRootDir() + "/fetched";
        QDir(root).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(root));
        ASSERT_TRUE(QDir().mkpath(local));
        QFile::remove(TrustMemory::defaultPath());
        maker = generateSigningKeys();
        qputenv("VERIMANT_TRUSTED_KEYS", maker.publicKey.toBase64());
        ASSERT_TRUE(writeFile(root + "/" + kName, kConfig));
    }

    void TearDown() override { qunsetenv("VERIMANT_TRUSTED_KEYS"); }

    void startServer() {
        ftp = std::make_unique<FtpTestServer>(root, QStringLiteral("operator7"),
                                              QStringLiteral("S3cret-pw"));
        QString why;
        ASSERT_TRUE(ftp->start(&why)) << why.toStdString();
        server = std::make_unique<UpdateServer>(log, *parseServerAddress(ftp->url()));
    }

    void sign(qint64 signedAt) {
        ASSERT_TRUE(writeFile(root + "/" + kName + ".sig",
                              signatureFileText(kConfig, maker.secretKey, signedAt)));
    }

    ConfigTrust judge(UpdateSource& source, TrustOptions options = {}) {
        const QString path = local + "/" + kName;
        EXPECT_TRUE(writeFile(path, kConfig));
        return checkConfigTrust(source, kName, path, options, log);
    }

    QString root;
    QString local;
    SigningKeys maker;
    ScriptedDialogs dialogs;
    ActivityLog log;
    std::unique_ptr<FtpTestServer> ftp;
    std::unique_ptr<UpdateServer> server;
};

// Only a source that says it has no such file leaves a configuration unsigned; anything else in the
// signature's place stops the run, from the folder and from the server alike.
TEST_F(ConfigTrustTest, OnlyAMissingSignatureCountsAsUnsigned) {
    startServer();
    FolderSource folder(log, root);
    const QString signature = root + "/" + kName + ".sig";
    const QString outside = testRootDir() + "/elsewhere.sig";
    ASSERT_TRUE(writeFile(outside, signatureFileText(kConfig, maker.secretKey, kMonday)));
    struct Case {
        const char* what;
        std::function<void()> place;
        ConfigTrust fromFolder;
        // The server says "No such file" for a link that leads nowhere; only its word counts.
        ConfigTrust fromServer;
    };
    const Case cases[] = {
        {"no signature at all", [] {}, ConfigTrust::Unsigned, ConfigTrust::Unsigned},
        {"a folder in its place", [&] { QDir().mkpath(signature); }, ConfigTrust::Refused,
         ConfigTrust::Refused},
        {"a link leading out of the set", [&] { QFile::link(outside, signature); },
         ConfigTrust::Refused, ConfigTrust::Refused},
        {"a dangling link", [&] { QFile::link(root + "/gone", signature); }, ConfigTrust::Refused,
         ConfigTrust::Unsigned},
    };
    for (const Case& c : cases) {
        for (UpdateSource* source :
             {static_cast<UpdateSource*>(&folder), static_cast<UpdateSource*>(server.get())}) {
            SCOPED_TRACE(std::string(c.what) + (source->isFolder() ? " (folder)" : " (server)"));
            QFile::remove(signature);
            QDir(signature).removeRecursively();
            c.place();
            const ConfigTrust expected = source->isFolder() ? c.fromFolder : c.fromServer;
            EXPECT_EQ(judge(*source), expected) << logText(log).right(400).toStdString();
            EXPECT_EQ(QFile::exists(local + "/" + kName), expected != ConfigTrust::Refused);
        }
    }
}

// Once a source served a signed configuration, its unsigned one is refused, remembered across
// runs; another source is not affected.
TEST_F(ConfigTrustTest, ASourceThatServedASignedConfigurationNeverPassesAnUnsignedOne) {
    startServer();
    FolderSource folder(log, root);
    const QString other = testRootDir() + "/other-set";
    ASSERT_TRUE(QDir().mkpath(other));
    ASSERT_TRUE(writeFile(other + "/" + kName, kConfig));
    FolderSource otherFolder(log, other);

    for (UpdateSource* source :
         {static_cast<UpdateSource*>(&folder), static_cast<UpdateSource*>(server.get())}) {
        SCOPED_TRACE(source->isFolder() ? "folder" : "server");
        sign(kMonday);
        EXPECT_EQ(judge(*source), ConfigTrust::Signed);
        QFile::remove(root + "/" + kName + ".sig");
        EXPECT_EQ(judge(*source), ConfigTrust::Refused);
        EXPECT_TRUE(logText(log).contains("served a signed configuration before"));
        EXPECT_FALSE(QFile::exists(local + "/" + kName));
    }
    EXPECT_EQ(judge(otherFolder), ConfigTrust::Unsigned);
    // The server is remembered by its address, never by its account.
    QFile memory(TrustMemory::defaultPath());
    ASSERT_TRUE(memory.open(QIODevice::ReadOnly));
    const QByteArray remembered = memory.readAll();
    EXPECT_TRUE(remembered.contains("ftp://127.0.0.1:" + QByteArray::number(ftp->port())));
    EXPECT_FALSE(remembered.contains(ftp->password().toUtf8()));
    EXPECT_FALSE(remembered.contains(ftp->user().toUtf8()));
}

// A key's configuration signed before the newest one of it that was accepted is a replay.
TEST_F(ConfigTrustTest, AnOlderSigningTimeIsRefusedUnlessAllowedOnce) {
    FolderSource folder(log, root);
    struct Case {
        const char* what;
        qint64 signedAt;
        bool allowOlder;
        ConfigTrust expected;
        const char* said;
    };
    const Case cases[] = {
        {"the first form alone, nothing newer seen", 0, false, ConfigTrust::Signed,
         "SIGNED AT = 0 (unstated)"},
        {"newer", kTuesday, false, ConfigTrust::Signed, "2026-12-02T00:00:00Z"},
        {"the same again", kTuesday, false, ConfigTrust::Signed, "2026-12-02T00:00:00Z"},
        {"older", kMonday, false, ConfigTrust::Refused, "signed at 2026-12-01T00:00:00Z by key"},
        {"the first form after a newer", 0, false, ConfigTrust::Refused, "signed at 0 (unstated)"},
        {"older, --allow-older-set", kMonday, true, ConfigTrust::Signed,
         "WARNING OLDER CONFIG ACCEPTED"},
        {"older again: allowing once did not lower the mark", kMonday, false, ConfigTrust::Refused,
         "older than the configuration signed at 2026-12-02T00:00:00Z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sign(c.signedAt);
        log.clear();
        log.AddLine(QString::fromUtf8(c.what));  // so that a repeated verdict is logged again
        TrustOptions options;
        options.allowOlderSet = c.allowOlder;
        EXPECT_EQ(judge(folder, options), c.expected);
        EXPECT_TRUE(logText(log).contains(c.said)) << logText(log).toStdString();
    }
}

// A memory that cannot be read must not forget the pins: it stops the run.
TEST_F(ConfigTrustTest, AnUnreadableMemoryRefusesRatherThanForgets) {
    FolderSource folder(log, root);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(TrustMemory::defaultPath()).path()));
    ASSERT_TRUE(writeFile(TrustMemory::defaultPath(), "source\tx\ngarbage\n"));
    EXPECT_EQ(judge(folder), ConfigTrust::Refused);
    EXPECT_TRUE(logText(log).contains("trust-state:2")) << logText(log).toStdString();
}

// The shell's completion reads the last accepted configuration: a refused one must never take
// its place, and the copy stays the user's own.
TEST_F(ConfigTrustTest, OnlyAnAcceptedConfigurationReplacesTheUsersLastCopy) {
    FolderSource folder(log, root);
    const QString served = root + "/" + kName;
    const QString signature = served + ".sig";
    struct Case {
        const char* what;
        QByteArray config;
        QByteArray signedBytes;  // empty: no signature
        ConfigTrust expected;
        QByteArray copyAfter;
    };
    const QByteArray first = kConfig + "[LANGUAGE:RU_EN]\r\n";
    const QByteArray second = kConfig + "[LANGUAGE:EURO]\r\n";
    const QByteArray forged = kConfig + "[LANGUAGE:FORGED]\r\n";
    const Case cases[] = {
        {"unsigned, accepted", first, {}, ConfigTrust::Unsigned, first},
        {"signed, accepted", second, second, ConfigTrust::Signed, second},
        {"a signature over other bytes", forged, second, ConfigTrust::Refused, second},
        {"unsigned after a signed one", forged, {}, ConfigTrust::Refused, second},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(writeFile(served, c.config));
        QFile::remove(signature);
        if (!c.signedBytes.isEmpty()) {
            ASSERT_TRUE(
                writeFile(signature, signatureFileText(c.signedBytes, maker.secretKey, kMonday)));
        }
        const QString path = local + "/" + kName;
        ASSERT_TRUE(writeFile(path, c.config));
        EXPECT_EQ(checkConfigTrust(folder, kName, path, TrustOptions{}, log), c.expected);
        QFile copy(lastConfigCopyPath());
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), c.copyAfter);
        EXPECT_EQ(copy.permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        EXPECT_EQ(QFileInfo(userCacheFolder()).permissions() &
                      ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // A cache folder swapped for a link is not written through.
    const QString elsewhere = testRootDir() + "/elsewhere-cache";
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QDir(userCacheFolder()).removeRecursively());
    ASSERT_TRUE(QFile::link(elsewhere, userCacheFolder()));
    QFile::remove(signature);
    const QString other = testRootDir() + "/other-source";
    ASSERT_TRUE(QDir().mkpath(other));
    ASSERT_TRUE(writeFile(other + "/" + kName, first));
    FolderSource otherFolder(log, other);
    ASSERT_TRUE(writeFile(local + "/" + kName, first));
    EXPECT_EQ(checkConfigTrust(otherFolder, kName, local + "/" + kName, TrustOptions{}, log),
              ConfigTrust::Unsigned);
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
}

}  // namespace
}  // namespace verimant::test
