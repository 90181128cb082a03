// The client against a scripted server, for what a real server does not do on demand. Every case
// must end with the right outcome and never hang: the limits are shortened, and a hang would
// show as the suite's own time-out.
#include "tests/update/scripted_ftp_server.h"
#include "update/ftp_client.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
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

    FtpEvents events() {
        FtpEvents events;
        events.onSuccess = [this](FtpOperation kind) { successes << kind; };
        events.onFailure = [this](FtpOperation kind) { failures << kind; };
        events.onAuthenticationFailed = [this] { ++refusedLogins; };
        return events;
    }
};

class ScriptedClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_NE(server.port(), 0);
        client.setEvents(outcomes.events());
    }
    QString localPath(const QString& name) const { return folder.filePath(name); }

    ScriptedFtpServer server;
    Outcomes outcomes;
    QTemporaryDir folder;
    FtpClient client{server.settings(), kShortLimits};
};

struct LoginCase {
    const char* name;
    QByteArray greeting;  // empty: the server never greets
    QByteArray userReply;
    QByteArray passReply;
    bool loggedIn;
    QByteArray commands;  // before any QUIT the test's own log-out sends
};

TEST_F(ScriptedClientTest, LoginFollowsTheServersRepliesAndEndsWithoutAConnectionWhenRefused) {
    const QList<LoginCase> cases = {
        {"multi-line greeting", "220-Hi\r\n220-there\r\n220 ready", "331 Password", "230 In", true,
         "USER tester|PASS secret"},
        {"no password asked", "220 ready", "230 Welcome back", "", true, "USER tester"},
        {"account refused", "220 ready", "530 No such user", "", false, "USER tester|QUIT"},
        {"password refused", "220 ready", "331 Password", "530 Login incorrect", false,
         "USER tester|PASS secret|QUIT"},
        {"silent greeting", "", "", "", false, ""},
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
        const bool silent = c.greeting.isEmpty();
        EXPECT_EQ(ftp.logIn(), c.loggedIn);
        EXPECT_EQ(ftp.isConnected(), c.loggedIn);
        EXPECT_EQ(ftp.timedOut(), silent);
        EXPECT_EQ(seen.refusedLogins, !c.loggedIn && !silent ? 1 : 0);
        EXPECT_EQ(scripted.commands(),
                  c.commands.isEmpty() ? QList<QByteArray>{} : c.commands.split('|'));
        if (c.loggedIn) {
            EXPECT_TRUE(ftp.logOut());
            EXPECT_EQ(scripted.commands().last(), "QUIT");
        }
        EXPECT_FALSE(ftp.errorText().contains(QStringLiteral("secret")));
    }
}

TEST_F(ScriptedClientTest, RefusedFolderIsAFailureOfItsKindAndTheConnectionStaysUsable) {
    server.setReply("CWD", "550 No such folder\r\n");
    ASSERT_TRUE(client.logIn());
    EXPECT_FALSE(client.changeFolder(QStringLiteral("missing")));
    EXPECT_EQ(outcomes.failures, QList<FtpOperation>{FtpOperation::ChangeFolder});
    EXPECT_EQ(client.errorText(), QStringLiteral("550 No such folder"));
    EXPECT_TRUE(client.createFolder(QStringLiteral("missing")));
    EXPECT_TRUE(client.setTransferType(3));
    EXPECT_EQ(outcomes.successes,
              (QList<FtpOperation>{FtpOperation::CreateFolder, FtpOperation::OtherCommand}));
    EXPECT_EQ(server.commands().mid(2, 3),
              (QList<QByteArray>{"CWD missing", "MKD missing", "TYPE L 8"}));
}

struct DownloadCase {
    const char* name;
    QByteArray firstReply;
    QByteArray data;
    QByteArray finalReply;
    bool fetched;
    bool silent;  // the data connection stays open and nothing more comes
};

TEST_F(ScriptedClientTest, DownloadIsKeptOnlyWhenTheServerConfirmsTheWholeFile) {
    const QByteArray big(200000, 'x');
    const QList<DownloadCase> cases = {
        {"empty file", "150 Opening", "", "226 Transfer complete", true, false},
        {"several chunks", "150 Opening", big, "226 Transfer complete", true, false},
        {"aborted with 426", "150 Opening", "firm", "426 Connection closed; aborted", false, false},
        {"aborted with 451", "150 Opening", "firm", "451 Local error", false, false},
        {"multi-line final reply", "150 Opening", "firmware", "226-Stats\r\n226 Done", true, false},
        {"file refused", "550 No such file", "", "", false, false},
        {"server silent mid-transfer", "150 Opening", "fir", "", false, true},
    };
    for (const DownloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer scripted;
        scripted.serveDownload(c.data, c.finalReply, !c.silent, c.firstReply);
        Outcomes seen;
        FtpClient ftp(scripted.settings(), kShortLimits);
        ftp.setEvents(seen.events());
        QTemporaryDir local;
        const QString target = local.filePath(QStringLiteral("kmt2.hex"));
        QFile::remove(target);
        ASSERT_TRUE(ftp.logIn());
        EXPECT_EQ(ftp.retrieveFile(QStringLiteral("kmt2.hex"), target), c.fetched);
        EXPECT_EQ(ftp.timedOut(), c.silent);
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
        EXPECT_EQ(ftp.isConnected(), !c.silent);
        if (ftp.isConnected()) {
            EXPECT_TRUE(ftp.logOut());
        }
    }
}

// An earlier copy under the name survives a failed download, and a link at the target is replaced,
// never written through.
TEST_F(ScriptedClientTest, FailedDownloadKeepsTheEarlierFileAndALinkIsNeverWrittenThrough) {
    const QString earlier = localPath(QStringLiteral("config.ini"));
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("precious.txt"));
    for (const QString& path : {earlier, outside}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    const QString target = localPath(QStringLiteral("kmt2.hex"));
    ASSERT_TRUE(QFile::link(outside, target));
    server.serveDownload("aborted", "426 aborted\r\n");
    ASSERT_TRUE(client.logIn());
    EXPECT_FALSE(client.retrieveFile(QStringLiteral("config.ini"), earlier));
    EXPECT_FALSE(client.retrieveFile(QStringLiteral("kmt2.hex"), target));
    EXPECT_EQ(readFile(earlier), QByteArray("keep me"));
    EXPECT_EQ(readFile(outside), QByteArray("keep me"));

    server.serveDownload("from the server", "226 Done\r\n");
    EXPECT_TRUE(client.retrieveFile(QStringLiteral("kmt2.hex"), target));
    EXPECT_FALSE(QFileInfo(target).isSymLink());
    EXPECT_EQ(readFile(target), QByteArray("from the server"));
    EXPECT_EQ(readFile(outside), QByteArray("keep me"));
}

TEST_F(ScriptedClientTest, DataConnectionGoesToTheControlPeerWhateverThePassiveReplyNames) {
    server.setPassiveAddress("10,0,0,1");
    server.serveDownload("from the control peer", "226 Done\r\n");
    ASSERT_TRUE(client.logIn());
    EXPECT_TRUE(client.retrieveFile(QStringLiteral("a.bin"), localPath("a.bin")));
    EXPECT_EQ(readFile(localPath("a.bin")), QByteArray("from the control peer"));
}

TEST_F(ScriptedClientTest, UnusablePassiveReplyOrNameFailsTheTransferBeforeAnyData) {
    server.setReply("PASV", "227 Entering Passive Mode (127,0,0,1,300,1)\r\n");
    ASSERT_TRUE(client.logIn());
    EXPECT_FALSE(client.retrieveFile(QStringLiteral("a.bin"), localPath("a.bin")));
    EXPECT_FALSE(client.retrieveFile(QStringLiteral("a.bin\r\nDELE x"), localPath("a.bin")));
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
    ASSERT_TRUE(client.logIn());
    EXPECT_TRUE(client.appendToRemote(report, QStringLiteral("rep.txt")));
    EXPECT_EQ(server.appended(), content);
    EXPECT_EQ(client.sentBytes(), content.size());
    EXPECT_TRUE(server.commands().contains("APPE rep.txt"));

    // Without a remote name the local file's own name is used.
    EXPECT_TRUE(client.appendToRemote(report));
    EXPECT_TRUE(server.commands().contains("APPE log.txt"));

    server.setReply("APPE", "550 Permission denied\r\n");
    EXPECT_FALSE(client.appendToRemote(report, QStringLiteral("rep.txt")));
    EXPECT_EQ(outcomes.failures, QList<FtpOperation>{FtpOperation::Append});
}

TEST_F(ScriptedClientTest, OperationsWithoutAServerFailAtOnceWithTheirTexts) {
    EXPECT_FALSE(client.changeFolder(QStringLiteral("x")));
    EXPECT_EQ(client.errorText(), QStringLiteral("Not Connected"));
    ASSERT_TRUE(client.logIn());
    EXPECT_FALSE(client.logIn());
    EXPECT_EQ(client.errorText(), QStringLiteral("Already connected"));

    ServerSettings closedPort = server.settings();
    QTcpServer reserved;
    ASSERT_TRUE(reserved.listen(QHostAddress::LocalHost, 0));
    closedPort.port = reserved.serverPort();
    reserved.close();
    FtpClient refused(closedPort, kShortLimits);
    EXPECT_FALSE(refused.logIn());
    EXPECT_EQ(refused.errorText(), QStringLiteral("Connection Failed"));

    // An account name from the environment cannot smuggle in a command of its own.
    ScriptedFtpServer other;
    ServerSettings injected = other.settings();
    injected.user = QStringLiteral("tester\r\nDELE precious");
    FtpClient smuggler(injected, kShortLimits);
    EXPECT_FALSE(smuggler.logIn());
    EXPECT_FALSE(other.verbs().contains("DELE"));
}

TEST_F(ScriptedClientTest, ServerThatStopsAnsweringAfterLoginEndsTheCommandAndTheConnection) {
    server.setReply("CWD", "");
    ASSERT_TRUE(client.logIn());
    EXPECT_FALSE(client.changeFolder(QStringLiteral("fw")));
    EXPECT_TRUE(client.timedOut());
    EXPECT_FALSE(client.isConnected());
    // Not a refusal of the folder: the client raised it, so no outcome of the kind is reported.
    EXPECT_TRUE(outcomes.failures.isEmpty());
}

// Whatever a server pours into the data connection, the client keeps no more of it in memory than
// its buffer: the rest waits in the server, and a download past the file limit fails.
TEST_F(ScriptedClientTest, DataPouredInFasterThanTheFileTakesItIsHeldBackInTheServer) {
    constexpr qint64 kMiB = 1 << 20;
    FtpLimits limits{2000, 1000};
    limits.maxFileBytes = kMiB;
    limits.dataBufferBytes = 64 * 1024;
    struct Case {
        const char* name;
        bool answered;
        bool onControl;
        qint64 pours;
        bool timedOut;
        qint64 bound = -1;  // this download's own limit, as the configuration's
    };
    const Case cases[] = {
        {"RETR never answered", false, false, 256 * kMiB, true},
        {"answered, past the file limit", true, false, 8 * kMiB, false},
        {"control connection flooded while the data waits", true, true, 256 * kMiB, true},
        {"answered, past the download's own bound", true, false, 8 * kMiB, false, kMiB / 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer scripted;
        scripted.streamDownload(c.pours, c.answered, c.onControl);
        FtpClient ftp(scripted.settings(), limits);
        QTemporaryDir local;
        ASSERT_TRUE(ftp.logIn());
        EXPECT_FALSE(
            ftp.retrieveFile(QStringLiteral("base.bin"), local.filePath("base.bin"), c.bound));
        EXPECT_EQ(ftp.timedOut(), c.timedOut);
        EXPECT_EQ(ftp.tooLarge(), c.answered && !c.onControl);
        // A download stops once it passes its limit, not when the server's stream ends.
        EXPECT_LE(ftp.receivedBytes(),
                  (c.bound >= 0 ? c.bound : limits.maxFileBytes) + limits.dataBufferBytes);
        EXPECT_TRUE(QDir(local.path()).isEmpty(QDir::Files | QDir::Hidden));
        // Past the client's own buffer only the system's socket buffers can take data in.
        EXPECT_LT(scripted.streamedBytes(), 40 * kMiB);
    }
}

// Each wait stays short, but the whole does not end: a reply has one deadline from its command and
// a transfer a minimum average rate, so neither is stretched by lines or bytes given one by one.
TEST_F(ScriptedClientTest, DrippedRepliesAndTrickledDataEndWithinTheirLimits) {
    FtpLimits limits{2000, 400};
    limits.transferGraceMs = 300;
    limits.minBytesPerSecond = 4096;
    const auto dripped = [](const QByteArray& code) {
        QByteArray lines;
        for (int i = 0; i < 30; ++i)
            lines += code + "-still here\r\n";
        return lines + code + " Done\r\n";
    };
    enum class Step { LogIn, ChangeFolder, Download };
    struct Case {
        const char* name;
        Step step;
        QByteArray greeting;
        QByteArray cwdReply;
        bool trickle;  // 64 bytes every 100 ms, well inside the idle limit
        const char* error;
    };
    const Case cases[] = {
        {"greeting dripped", Step::LogIn, dripped("220"), "250 OK", false, "Reply Timed out"},
        {"folder reply dripped", Step::ChangeFolder, "220 Ready", dripped("250"), false,
         "Reply Timed out"},
        {"data trickled", Step::Download, "220 Ready", "250 OK", true, "Transfer Too Slow"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer scripted;
        scripted.setGreeting(c.greeting);
        scripted.setReply("CWD", c.cwdReply);
        scripted.serveDownload(QByteArray(2560, 't'), "226 Done\r\n");
        if (c.trickle)
            scripted.trickleData(64, 100);
        else
            scripted.dripControl(100);
        FtpClient ftp(scripted.settings(), limits);
        QTemporaryDir local;
        if (c.step != Step::LogIn) {
            ASSERT_TRUE(ftp.logIn());
        }
        QElapsedTimer clock;
        clock.start();
        bool done = false;
        switch (c.step) {
            case Step::LogIn:
                done = ftp.logIn();
                break;
            case Step::ChangeFolder:
                done = ftp.changeFolder(QStringLiteral("fw"));
                break;
            case Step::Download:
                done = ftp.retrieveFile(QStringLiteral("kmt2.hex"), local.filePath("kmt2.hex"));
                break;
        }
        EXPECT_FALSE(done);
        EXPECT_TRUE(ftp.timedOut());
        EXPECT_EQ(ftp.errorText(), QString::fromLatin1(c.error));
        EXPECT_LT(clock.elapsed(), 1500);
        EXPECT_TRUE(QDir(local.path()).isEmpty(QDir::Files | QDir::Hidden));
    }
}

}  // namespace
}  // namespace verimant::test
