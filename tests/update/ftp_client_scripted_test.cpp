// The client against a scripted server, for what a real server does not do on demand. Every case
// must end with the right outcome and never hang: the limits are shortened, and a hang would
// show as the suite's own time-out.
#include "tests/update/scripted_ftp_server.h"
#include "update/ftp_client.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace verimant::test {
namespace {

constexpr FtpLimits kShortLimits{2000, 400};

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Counts every outcome the client reports.
struct Outcomes {
    QList<FtpOperation> successes;
    QList<FtpOperation> failures;
    int refusedLogins = 0;
    int packetsReceived = 0;
    int packetsSent = 0;

    FtpEvents events() {
        FtpEvents events;
        events.onSuccess = [this](FtpOperation kind) { successes << kind; };
        events.onFailure = [this](FtpOperation kind) { failures << kind; };
        events.onAuthenticationFailed = [this] { ++refusedLogins; };
        events.onPacketRecvd = [this] { ++packetsReceived; };
        events.onPacketSent = [this] { ++packetsSent; };
        return events;
    }
};

class ScriptedClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_NE(server.port(), 0);
    }
    FtpClient& client() {
        if (!client_) {
            client_ = std::make_unique<FtpClient>(server.settings(), kShortLimits);
            client_->setEvents(outcomes.events());
        }
        return *client_;
    }
    QString localPath(const QString& name) const { return folder.filePath(name); }

    ScriptedFtpServer server;
    Outcomes outcomes;
    QTemporaryDir folder;
    std::unique_ptr<FtpClient> client_;
};

struct LoginCase {
    const char* name;
    QByteArray greeting;
    QByteArray userReply;
    QByteArray passReply;
    bool loggedIn;
    QList<QByteArray> commands;
    bool timedOut;
};

TEST_F(ScriptedClientTest, LoginFollowsTheServersRepliesAndEndsWithoutAConnectionWhenRefused) {
    const QList<LoginCase> cases = {
        {"multi-line greeting",
         "220-Welcome\r\n220-to the server\r\n220 ready\r\n",
         "331 Password required\r\n",
         "230 Logged in\r\n",
         true,
         {"USER tester", "PASS secret"},
         false},
        {"no password asked",
         "220 ready\r\n",
         "230 Welcome back\r\n",
         "",
         true,
         {"USER tester"},
         false},
        {"account refused",
         "220 ready\r\n",
         "530 No such user\r\n",
         "",
         false,
         {"USER tester", "QUIT"},
         false},
        {"password refused",
         "220 ready\r\n",
         "331 Password required\r\n",
         "530 Login incorrect\r\n",
         false,
         {"USER tester", "PASS secret", "QUIT"},
         false},
        {"silent greeting", "", "", "", false, {}, true},
    };
    for (const LoginCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer scripted;
        scripted.setGreeting(c.greeting);
        scripted.setReply("USER", c.userReply);
        scripted.setReply("PASS", c.passReply);
        Outcomes seen;
        FtpClient ftp(scripted.settings(), kShortLimits);
        ftp.setEvents(seen.events());
        EXPECT_EQ(ftp.logIn(), c.loggedIn);
        EXPECT_EQ(ftp.isConnected(), c.loggedIn);
        EXPECT_EQ(ftp.timedOut(), c.timedOut);
        EXPECT_EQ(seen.refusedLogins, !c.loggedIn && !c.timedOut ? 1 : 0);
        if (c.loggedIn) {
            EXPECT_TRUE(ftp.logOut());
        }
        QList<QByteArray> expected = c.commands;
        if (c.loggedIn)
            expected << "QUIT";
        EXPECT_EQ(scripted.commands(), expected);
        EXPECT_FALSE(ftp.errorText().contains(QStringLiteral("secret")));
    }
}

TEST_F(ScriptedClientTest, RefusedFolderIsAFailureOfItsKindAndTheConnectionStaysUsable) {
    server.setReply("CWD", "550 No such folder\r\n");
    ASSERT_TRUE(client().logIn());
    EXPECT_FALSE(client().changeFolder(QStringLiteral("missing")));
    EXPECT_EQ(outcomes.failures, QList<FtpOperation>{FtpOperation::ChangeFolder});
    EXPECT_EQ(client().lastReply().code, 550);
    EXPECT_EQ(client().errorText(), QStringLiteral("550 No such folder"));
    EXPECT_TRUE(client().createFolder(QStringLiteral("missing")));
    EXPECT_TRUE(client().setTransferType(3));
    EXPECT_EQ(outcomes.successes,
              (QList<FtpOperation>{FtpOperation::CreateFolder, FtpOperation::OtherCommand}));
    EXPECT_EQ(server.commands().mid(2, 3),
              (QList<QByteArray>{"CWD missing", "MKD missing", "TYPE L 8"}));
}

struct DownloadCase {
    const char* name;
    QByteArray data;
    QByteArray finalReply;
    bool closeData;
    QByteArray firstReply;
    bool fetched;
    bool timedOut;
};

TEST_F(ScriptedClientTest, DownloadIsKeptOnlyWhenTheServerConfirmsTheWholeFile) {
    const QByteArray big(200000, 'x');
    const QList<DownloadCase> cases = {
        {"whole file", "firmware", "226 Transfer complete\r\n", true, "150 Opening\r\n", true,
         false},
        {"empty file", "", "226 Transfer complete\r\n", true, "150 Opening\r\n", true, false},
        {"several chunks", big, "226 Transfer complete\r\n", true, "150 Opening\r\n", true, false},
        {"aborted with 426", "firm", "426 Connection closed; transfer aborted\r\n", true,
         "150 Opening\r\n", false, false},
        {"aborted with 451", "firm", "451 Local error\r\n", true, "150 Opening\r\n", false, false},
        {"multi-line final reply", "firmware", "226-Statistics\r\n226 Done\r\n", true,
         "150 Opening\r\n", true, false},
        {"file refused", "", "", true, "550 No such file\r\n", false, false},
        {"server silent mid-transfer", "fir", "", false, "150 Opening\r\n", false, true},
    };
    for (const DownloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer scripted;
        scripted.serveDownload(c.data, c.finalReply, c.closeData, c.firstReply);
        Outcomes seen;
        FtpClient ftp(scripted.settings(), kShortLimits);
        ftp.setEvents(seen.events());
        QTemporaryDir local;
        const QString target = local.filePath(QStringLiteral("kmt2.hex"));
        QFile::remove(target);
        ASSERT_TRUE(ftp.logIn());
        EXPECT_EQ(ftp.retrieveFile(QStringLiteral("kmt2.hex"), target), c.fetched);
        EXPECT_EQ(ftp.timedOut(), c.timedOut);
        if (c.fetched) {
            EXPECT_EQ(readFile(target), c.data);
            EXPECT_EQ(ftp.receivedBytes(), c.data.size());
            EXPECT_EQ(seen.successes, QList<FtpOperation>{FtpOperation::Retrieve});
        } else {
            EXPECT_EQ(seen.failures, QList<FtpOperation>{FtpOperation::Retrieve});
        }
        // Nothing half-written is left behind, under the name or beside it.
        const QStringList left = QDir(local.path()).entryList(QDir::Files | QDir::Hidden);
        EXPECT_EQ(left, c.fetched ? QStringList{QStringLiteral("kmt2.hex")} : QStringList{});
        // A silent server leaves the control connection closed, anything else in step.
        EXPECT_EQ(ftp.isConnected(), !c.timedOut);
        if (ftp.isConnected()) {
            EXPECT_TRUE(ftp.logOut());
        }
    }
}

TEST_F(ScriptedClientTest, FailedDownloadLeavesAnEarlierFileAsItWas) {
    const QString target = localPath(QStringLiteral("config.ini"));
    {
        QFile earlier(target);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier copy");
    }
    server.serveDownload("new", "426 aborted\r\n");
    ASSERT_TRUE(client().logIn());
    EXPECT_FALSE(client().retrieveFile(QStringLiteral("config.ini"), target));
    EXPECT_EQ(readFile(target), QByteArray("earlier copy"));
}

TEST_F(ScriptedClientTest, DownloadReplacesALinkAtTheTargetInsteadOfWritingThroughIt) {
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("precious.txt"));
    {
        QFile file(outside);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    const QString target = localPath(QStringLiteral("kmt2.hex"));
    ASSERT_TRUE(QFile::link(outside, target));
    server.serveDownload("aborted", "426 aborted\r\n");
    ASSERT_TRUE(client().logIn());
    EXPECT_FALSE(client().retrieveFile(QStringLiteral("kmt2.hex"), target));
    EXPECT_EQ(readFile(outside), QByteArray("keep me"));

    server.serveDownload("from the server", "226 Done\r\n");
    EXPECT_TRUE(client().retrieveFile(QStringLiteral("kmt2.hex"), target));
    EXPECT_FALSE(QFileInfo(target).isSymLink());
    EXPECT_EQ(readFile(target), QByteArray("from the server"));
    EXPECT_EQ(readFile(outside), QByteArray("keep me"));
}

TEST_F(ScriptedClientTest, DataConnectionGoesToTheControlPeerWhateverThePassiveReplyNames) {
    server.setPassiveAddress("10,0,0,1");
    server.serveDownload("from the control peer", "226 Done\r\n");
    ASSERT_TRUE(client().logIn());
    EXPECT_TRUE(client().retrieveFile(QStringLiteral("a.bin"), localPath("a.bin")));
    EXPECT_EQ(readFile(localPath("a.bin")), QByteArray("from the control peer"));
}

TEST_F(ScriptedClientTest, UnusablePassiveReplyOrNameFailsTheTransferBeforeAnyData) {
    server.setReply("PASV", "227 Entering Passive Mode (127,0,0,1,300,1)\r\n");
    ASSERT_TRUE(client().logIn());
    EXPECT_FALSE(client().retrieveFile(QStringLiteral("a.bin"), localPath("a.bin")));
    EXPECT_FALSE(client().retrieveFile(QStringLiteral("a.bin\r\nDELE x"), localPath("a.bin")));
    EXPECT_EQ(outcomes.failures,
              (QList<FtpOperation>{FtpOperation::Retrieve, FtpOperation::Retrieve}));
    EXPECT_FALSE(server.verbs().contains("RETR"));
    EXPECT_FALSE(server.verbs().contains("DELE"));
    EXPECT_FALSE(QFile::exists(localPath("a.bin")));
}

TEST_F(ScriptedClientTest, AppendSendsTheWholeFileAndHeedsTheFinalReply) {
    const QString report = localPath(QStringLiteral("log.txt"));
    QByteArray content(150000, 'r');
    content.append("\nlast line\n");
    {
        QFile file(report);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    ASSERT_TRUE(client().logIn());
    EXPECT_TRUE(client().appendToRemote(report, QStringLiteral("rep.txt")));
    EXPECT_EQ(server.appended(), content);
    EXPECT_EQ(client().sentBytes(), content.size());
    EXPECT_EQ(outcomes.packetsSent, 3);  // 65536-byte chunks
    EXPECT_TRUE(server.commands().contains("APPE rep.txt"));

    // Without a remote name the local file's own name is used.
    EXPECT_TRUE(client().appendToRemote(report));
    EXPECT_TRUE(server.commands().contains("APPE log.txt"));

    server.setReply("APPE", "550 Permission denied\r\n");
    EXPECT_FALSE(client().appendToRemote(report, QStringLiteral("rep.txt")));
    EXPECT_EQ(outcomes.failures, QList<FtpOperation>{FtpOperation::Append});
}

TEST_F(ScriptedClientTest, OperationsWithoutAServerFailAtOnceWithTheirTexts) {
    EXPECT_FALSE(client().changeFolder(QStringLiteral("x")));
    EXPECT_EQ(client().errorText(), QStringLiteral("Not Connected"));
    ASSERT_TRUE(client().logIn());
    EXPECT_FALSE(client().logIn());
    EXPECT_EQ(client().errorText(), QStringLiteral("Already connected"));

    ServerSettings closedPort = server.settings();
    QTcpServer reserved;
    ASSERT_TRUE(reserved.listen(QHostAddress::LocalHost, 0));
    closedPort.port = reserved.serverPort();
    reserved.close();
    FtpClient refused(closedPort, kShortLimits);
    EXPECT_FALSE(refused.logIn());
    EXPECT_EQ(refused.errorText(), QStringLiteral("Connection Failed"));
}

TEST_F(ScriptedClientTest, ServerThatStopsAnsweringAfterLoginEndsTheCommandAndTheConnection) {
    server.setReply("CWD", "");
    ASSERT_TRUE(client().logIn());
    EXPECT_FALSE(client().changeFolder(QStringLiteral("fw")));
    EXPECT_TRUE(client().timedOut());
    EXPECT_FALSE(client().isConnected());
    // Not a refusal of the folder: the client raised it, so no outcome of the kind is reported.
    EXPECT_TRUE(outcomes.failures.isEmpty());
}

}  // namespace
}  // namespace verimant::test
