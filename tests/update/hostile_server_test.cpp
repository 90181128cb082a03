// An update server that names hostile local files and answers with hostile replies. Whatever it
// sends, nothing may land outside the tool's temporary folder, no link there may be written
// through, no connection may go to any host but the control peer, and nothing may hang or crash:
// the limits are shortened, and a hang would show as the suite's own time-out.
#include "base/activity_log.h"
#include "base/ui_language.h"
#include "platform/cp1251.h"
#include "platform/instance_lock.h"
#include "platform/setting_store.h"
#include "platform/temp_folder.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_environment.h"
#include "tests/update/scripted_ftp_server.h"
#include "update/firmware_set.h"
#include "update/server_transport.h"
#include "update/start_up.h"
#include "update/update_config.h"
#include "update/update_run.h"
#include "update/update_server.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>

#include <memory>
#include <optional>

namespace verimant::test {
namespace {

const QString kDemoSet = QStringLiteral(VERIMANT_SOURCE_DIR "/examples/update-server");
const QString kSection = QStringLiteral("SOFT_SET:TRV-278.V2.T23.RU_EN");
constexpr TransferLimits kShortLimits{3000, 1000, 1000};

// Names as the configuration holds them: bytes, read as CP1251.
QList<QByteArray> hostileNames() {
    QList<QByteArray> names = {
        // ".." pieces, with either separator
        "..", "../outside.bin", "..\\outside.bin", "fw/../../outside.bin",
        "fw\\..\\..\\outside.bin", "a/../outside.bin", "./../outside.bin",
        "..\\..\\..\\etc\\passwd", "x/..", "link_dir/../../outside.bin",
        // absolute forms
        "/etc/passwd", "/tmp/outside.bin", "\\outside.bin", "\\\\host\\share\\outside.bin",
        "C:outside.bin", "C:\\Windows\\outside.bin", "c:/outside.bin", "//host/outside.bin",
        // both separators, folders only
        "fw/sub\\outside.bin", "fw\\sub/outside.bin", "fw/", "fw\\", "/", "\\",
        // empty and dots
        "", " ", "   ", ".", "./", ".\\",
        // control characters (a NUL too)
        "x\n.bin", "x\r\nDELE verimant_sn_base.bin", "x\t.bin", QByteArray("x\0.bin", 6),
        "\x1b[2Jx.bin", "x\x7f.bin",
        // UTF-8 look-alikes of dots and slashes, raw in the CP1251 file, and CP1251 ones
        "\xe2\x80\xa4\xe2\x80\xa4/outside.bin", "\xe2\x80\xa5/outside.bin",
        "\xef\xbc\x8e\xef\xbc\x8e\xef\xbc\x8foutside.bin", "..\xe2\x88\x95outside.bin",
        "..\xe2\x81\x84outside.bin", "..\xef\xbc\xbcoutside.bin", "\x85/outside.bin",
        "..\xa0/outside.bin", "\xe2\x80\xaegnp.exe",
        // names of what the temporary folder already holds: files and links
        "verimant_version_3.ini", "precious.bin", "link_out.bin", "link_dir/target.bin",
        "link_dir\\target.bin"};
    names << QByteArray(300, 'a') << QByteArray(5000, 'b') + ".bin"
          << "fw/" + QByteArray(255, 'c') << QByteArray(4096, '/') + "outside.bin";
    return names;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Every entry below `root` except the folders the run may change: its kind, link target and
// content hash. Links are listed, never followed.
QString treeBelow(const QString& root, const QStringList& allowed) {
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (std::any_of(allowed.begin(), allowed.end(),
                        [&](const QString& folder) { return path.startsWith(folder + "/"); })) {
            continue;
        }
        const QFileInfo info(path);
        QString entry = path;
        if (info.isSymLink()) {
            entry += " -> " + info.symLinkTarget();
        } else if (info.isFile()) {
            entry +=
                " " + QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha1).toHex();
        }
        entries << entry;
    }
    entries.sort();
    return entries.join('\n');
}

// The demo update set on a real server, a temporary folder holding a file and two links that
// lead outside it, and outside it a folder whose contents must never change.
class HostileNames : public ::testing::Test {
protected:
    void SetUp() override {
        root = testRootDir();
        serverRoot = root + "/server";
        outside = root + "/outside";
        ASSERT_TRUE(QDir().mkpath(serverRoot));
        ASSERT_TRUE(QDir().mkpath(outside));
        for (const QString& name : QDir(kDemoSet).entryList(QDir::Files)) {
            ASSERT_TRUE(QFile::copy(kDemoSet + "/" + name, serverRoot + "/" + name));
        }
        // Whatever a name could reach on the server, if the tool asked for it.
        writeBytes(serverRoot + "/outside.bin", "served");
        writeBytes(serverRoot + "/precious.bin", "served");
        writeBytes(serverRoot + "/link_out.bin", "served");
        writeBytes(outside + "/target.bin", "the user's own file");
        writeBytes(outside + "/outside.bin", "the user's own file");
        ftp = std::make_unique<FtpTestServer>(serverRoot);
        QString why;
        ASSERT_TRUE(ftp->start(&why)) << why.toStdString();
    }

    void plantInTempFolder(const QString& temp) {
        ASSERT_TRUE(QDir().mkpath(temp));
        writeBytes(temp + "/precious.bin", "kept in the folder");
        ASSERT_TRUE(QFile::link(outside + "/target.bin", temp + "/link_out.bin"));
        ASSERT_TRUE(QFile::link(outside, temp + "/link_dir"));
    }

    // Nothing outside the folders the run may use changed, and no link in the temporary folder
    // led a write elsewhere.
    void expectNothingOutside(const QString& before, const QStringList& allowed,
                              const QByteArray& name) {
        EXPECT_EQ(treeBelow(root, allowed).toStdString(), before.toStdString())
            << "name " << name.left(60).toHex().toStdString();
        EXPECT_EQ(fileBytes(outside + "/target.bin"), QByteArray("the user's own file"));
        for (const char* path : {"/tmp/outside.bin", "/outside.bin", "/etc/outside.bin"}) {
            EXPECT_FALSE(QFile::exists(path)) << path;
        }
    }

    QString root;
    QString serverRoot;
    QString outside;
    std::unique_ptr<FtpTestServer> ftp;
    ScriptedDialogs dialogs;
    ActivityLog log;
};

TEST_F(HostileNames, FirmwareSetNamesNeverReachOutsideTheTemporaryFolder) {
    const QString temp = root + "/local";
    plantInTempFolder(temp);
    const QString configFolder = root + "/ini";
    ASSERT_TRUE(QDir().mkpath(configFolder));
    const QStringList allowed{temp, serverRoot, configFolder};
    const QString before = treeBelow(root, allowed);
    UpdateServer server(log, *parseServerAddress(ftp->url()), kShortLimits);
    const QString configPath = configFolder + "/set.ini";
    const QList<QByteArray> names = hostileNames();
    ASSERT_GE(names.size(), 40);
    for (const QByteArray& name : names) {
        for (bool asMainFirmware : {true, false}) {
            const QByteArray good =
                asMainFirmware ? "verimant_efl_ru_en_1_6.bin" : "verimant_kmt2_3_2.hex";
            writeBytes(configPath, "[" + encodeCp1251(kSection) +
                                       "]\r\nKMT2=K\r\nEFL=E\r\n[FILE:K]\r\nVERSION=3.2\r\nNAME=" +
                                       (asMainFirmware ? name : good) +
                                       "\r\n[FILE:E]\r\nVERSION=1.6\r\nNAME=" +
                                       (asMainFirmware ? good : name) + "\r\n");
            UpdateConfig config;
            config.openConfig(configPath);
            loadFirmwareSet(config, kSection, server, temp, log);
            expectNothingOutside(before, allowed, name);
        }
    }
    for (const QString& entry : QDir(temp).entryList(QDir::Files | QDir::System)) {
        const QFileInfo info(temp + "/" + entry);
        EXPECT_TRUE(!info.isSymLink() || info.symLinkTarget().startsWith(outside))
            << entry.toStdString() << " is a link the run made";
    }
}

// The start-up fetches the serial-number base under BASE_NAME into the folder it has just
// emptied; a hostile name stops the run and leaves everything outside as it was.
class RecordingWindow final : public StartUpWindow {
public:
    void createDeviceLink() override {}
    void LoadLanguage() override { verimant::LoadLanguage(); }
    void SetLogVisible(bool) override {}
    void setCaption(const QString&) override {}
    void startConnectionTimer() override { ++timerStarts; }
    void requestTermination() override { ++terminations; }
    int timerStarts = 0;
    int terminations = 0;
};

TEST_F(HostileNames, BaseNameNeverReachesOutsideTheTemporaryFolder) {
    writeUserInt32(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("LANGUAGE"), 1);
    ftp->exportToEnvironment();
    const QString temp = toolTempFolder();
    const QString configPath = serverRoot + "/" + UpdateRun::kConfigName;
    const QByteArray config = fileBytes(configPath);
    const QByteArray goodLine = "BASE_NAME=verimant_sn_base.bin";
    ASSERT_TRUE(config.contains(goodLine));
    const QStringList allowed{temp, serverRoot, root + "/config", root + "/runtime"};
    const auto startUp = [&](RecordingWindow& window) {
        UpdateRun run(log, updateServerSettings(), kShortLimits);
        SingleInstanceLock lock;
        return runStartUp(window, lock, run);
    };
    // A good start first, so that the tool's own lock file and folder count as there before.
    RecordingWindow first;
    ASSERT_EQ(startUp(first), StartUpOutcome::Ready);
    const QString before = treeBelow(root, allowed);
    for (const QByteArray& name : hostileNames()) {
        writeBytes(configPath, QByteArray(config).replace(goodLine, "BASE_NAME=" + name));
        RecordingWindow window;
        const StartUpOutcome outcome = startUp(window);
        expectNothingOutside(before, allowed, name);
        // A name whose last piece is a plain file name may fetch that file; anything else stops.
        if (outcome == StartUpOutcome::Ready) {
            EXPECT_EQ(window.timerStarts, 1);
        } else {
            EXPECT_EQ(window.terminations, 1);
        }
    }
}

// Replies no real server gives: the data connection must still go to the control peer only,
// and every operation must end, by success or failure, within the limits.
class HostileReplies : public ::testing::Test {
protected:
    QString localPath() const { return testRootDir() + "/fetched.bin"; }

    ScriptedFtpServer server;
    ServerTransport client{server.settings(), TransferLimits{2000, 400, 1000}};
};

TEST_F(HostileReplies, PassiveReplyNamingAnotherHostIsNeverContacted) {
    // A listener on another loopback address stands for the other host.
    QTcpServer otherHost;
    ASSERT_TRUE(otherHost.listen(QHostAddress("127.0.0.2")));
    const quint16 port = otherHost.serverPort();
    server.setReply("PASV", QByteArray("227 Entering Passive Mode (127,0,0,2,") +
                                QByteArray::number(port >> 8) + "," +
                                QByteArray::number(port & 0xFF) + ")\r\n");
    EXPECT_FALSE(client.fetch(QStringLiteral("a.bin"), localPath()));
    EXPECT_FALSE(otherHost.hasPendingConnections());
    EXPECT_FALSE(otherHost.waitForNewConnection(200));
    EXPECT_EQ(server.connectionCount(), 1);
}

TEST_F(HostileReplies, EndlessDigitlessAndDeadRepliesEndTheOperation) {
    // Far more lines than any reply needs; the transport gives up on such a reply.
    const auto endless = [](const QByteArray& code) {
        QByteArray lines = code + "-Welcome\r\n";
        for (int i = 0; i < 20000; ++i) {
            lines += code + "-line " + QByteArray::number(i) + " of a reply that does not end\r\n";
        }
        return lines;
    };
    struct Case {
        const char* what;
        QByteArray greeting;
        QByteArray pasv;
        bool pastLogin;  // the failure is the transfer's, not the connection's
    };
    // A port where nothing listens: the data connection never opens.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 deadPort = closed.serverPort();
    closed.close();
    const QByteArray deadPasv = "227 Entering Passive Mode (127,0,0,1," +
                                QByteArray::number(deadPort >> 8) + "," +
                                QByteArray::number(deadPort & 0xFF) + ")\r\n";
    const Case cases[] = {
        {"a greeting of 20,000 continuation lines, never closed", endless("220"), {}, false},
        {"a greeting of 20,000 lines, then closed", endless("220") + "220 Ready\r\n", {}, false},
        {"a greeting without digits", "Hello, this is not FTP\r\n", {}, false},
        {"a passive reply without digits", "220 Ready\r\n", "Entering Passive Mode\r\n", true},
        {"a passive reply whose data port never opens", "220 Ready\r\n", deadPasv, true},
        {"a passive reply of 20,000 lines", "220 Ready\r\n", endless("227"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedFtpServer scripted;
        scripted.setGreeting(c.greeting);
        if (!c.pasv.isEmpty()) {
            scripted.setReply("PASV", c.pasv);
        }
        scripted.serveDownload("data", "226 Done\r\n");
        ServerTransport ftp(scripted.settings(), TransferLimits{2000, 400, 1000});
        const QString target = testRootDir() + "/hostile.bin";
        EXPECT_FALSE(ftp.fetch(QStringLiteral("a.bin"), target));
        EXPECT_EQ(ftp.stop(), c.pastLogin ? ServerTransport::Stop::Transfer
                                          : ServerTransport::Stop::Connection);
        EXPECT_FALSE(QFile::exists(target));
    }
}

}  // namespace
}  // namespace verimant::test
