// The transport against a scripted server, for what a real server does not do on demand. Every
// case must end with the right outcome and never hang: the limits are shortened, and a hang would
// show as the suite's own time-out.
#include "device/write_cancel.h"
#include "tests/update/scripted_ftp_server.h"
#include "update/server_transport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

namespace verimant::test {
namespace {

constexpr TransferLimits kShortLimits{2000, 400, 1000};
using Stop = ServerTransport::Stop;

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Counts every outcome the transport reports.
struct Outcomes {
    QList<FtpOperation> successes;
    QList<FtpOperation> failures;
    int refusedLogins = 0;

    TransferEvents events() {
        TransferEvents events;
        events.onSuccess = [this](FtpOperation kind) { successes << kind; };
        events.onFailure = [this](FtpOperation kind) { failures << kind; };
        events.onAuthenticationFailed = [this] { ++refusedLogins; };
        return events;
    }
};

class ScriptedTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_NE(server.port(), 0);
        transport.setEvents(outcomes.events());
    }
    QString localPath(const QString& name) const { return folder.filePath(name); }

    ScriptedFtpServer server;
    Outcomes outcomes;
    QTemporaryDir folder;
    ServerTransport transport{server.settings(), kShortLimits};
};

struct LoginCase {
    const char* name;
    QByteArray greeting;  // empty: the server never greets
    QByteArray userReply;
    QByteArray passReply;
    bool loggedIn;
    QByteArray commands;  // the login's own
};

TEST_F(ScriptedTransportTest, LoginFollowsTheServersRepliesAndARefusalIsNoConnection) {
    const QList<LoginCase> cases = {
        {"multi-line greeting", "220-Hi\r\n220-there\r\n220 ready", "331 Password", "230 In", true,
         "USER tester|PASS secret"},
        {"no password asked", "220 ready", "230 Welcome back", "", true, "USER tester"},
        {"account refused", "220 ready", "530 No such user", "", false, "USER tester"},
        {"password refused", "220 ready", "331 Password", "530 Login incorrect", false,
         "USER tester|PASS secret"},
        {"silent greeting", "", "", "", false, ""},
    };
    for (const LoginCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer scripted;
        scripted.setGreeting(c.greeting);
        scripted.setReply("USER", c.userReply);
        scripted.setReply("PASS", c.passReply);
        scripted.serveDownload("data", "226 Done\r\n");
        Outcomes seen;
        ServerTransport ftp(scripted.settings(), kShortLimits);
        ftp.setEvents(seen.events());
        QTemporaryDir local;
        const bool silent = c.greeting.isEmpty();
        EXPECT_EQ(ftp.fetch(QStringLiteral("a.bin"), local.filePath("a.bin")), c.loggedIn);
        EXPECT_EQ(ftp.stop(), c.loggedIn ? Stop::None : Stop::Connection);
        EXPECT_EQ(ftp.timedOut(), silent);
        EXPECT_EQ(seen.refusedLogins, !c.loggedIn && !silent ? 1 : 0);
        const QList<QByteArray> login =
            c.commands.isEmpty() ? QList<QByteArray>{} : c.commands.split('|');
        EXPECT_EQ(scripted.commands().mid(0, login.size()), login);
        if (c.loggedIn) {
            EXPECT_EQ(scripted.commands().last(), "QUIT");
        }
        EXPECT_FALSE(ftp.errorText().contains(QStringLiteral("secret")));
    }
}

TEST_F(ScriptedTransportTest, RefusedFolderIsAFailureOfItsKindWithTheServersWords) {
    server.setReply("CWD", "550 No such folder\r\n");
    EXPECT_FALSE(transport.fetch(QStringLiteral("missing\\a.bin"), localPath("a.bin")));
    EXPECT_EQ(transport.stop(), Stop::Folder);
    EXPECT_EQ(outcomes.failures, QList<FtpOperation>{FtpOperation::ChangeFolder});
    EXPECT_EQ(transport.errorText(), QStringLiteral("550 No such folder"));
    EXPECT_FALSE(server.verbs().contains("RETR"));

    // Making the folders creates the missing one and enters it.
    ScriptedFtpServer making;
    making.queueReplies("CWD", {"550 No such folder\r\n"});
    ServerTransport maker(making.settings(), kShortLimits);
    Outcomes made;
    maker.setEvents(made.events());
    EXPECT_TRUE(maker.makeFolders(QStringLiteral("log4\\rep.txt")));
    EXPECT_EQ(made.successes,
              (QList<FtpOperation>{FtpOperation::CreateFolder, FtpOperation::ChangeFolder}));
    EXPECT_TRUE(making.commands().contains("MKD log4"));
}

struct DownloadCase {
    const char* name;
    QByteArray firstReply;
    QByteArray data;
    QByteArray finalReply;
    bool fetched;
    bool silent;  // the data connection stays open and nothing more comes
};

TEST_F(ScriptedTransportTest, DownloadIsKeptOnlyWhenTheServerConfirmsTheWholeFile) {
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
        ServerTransport ftp(scripted.settings(), kShortLimits);
        ftp.setEvents(seen.events());
        QTemporaryDir local;
        const QString target = local.filePath(QStringLiteral("kmt2.hex"));
        EXPECT_EQ(ftp.fetch(QStringLiteral("kmt2.hex"), target), c.fetched);
        EXPECT_EQ(ftp.timedOut(), c.silent);
        if (c.fetched) {
            EXPECT_EQ(readFile(target), c.data);
            EXPECT_EQ(ftp.receivedBytes(), c.data.size());
            EXPECT_TRUE(seen.successes.contains(FtpOperation::Retrieve));
        } else {
            EXPECT_EQ(seen.failures, QList<FtpOperation>{FtpOperation::Retrieve});
        }
        // Nothing half-written is left behind, under the name or beside it.
        const QStringList left = QDir(local.path()).entryList(QDir::Files | QDir::Hidden);
        EXPECT_EQ(left, c.fetched ? QStringList{QStringLiteral("kmt2.hex")} : QStringList{});
        // Files move in binary, whatever the server would do to line ends in ASCII.
        EXPECT_TRUE(scripted.commands().contains("TYPE I"));
    }
}

// An earlier copy under the name survives a failed download, and a link at the target is replaced,
// never written through.
TEST_F(ScriptedTransportTest, FailedDownloadKeepsTheEarlierFileAndALinkIsNeverWrittenThrough) {
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
    EXPECT_FALSE(transport.fetch(QStringLiteral("config.ini"), earlier));
    EXPECT_FALSE(transport.fetch(QStringLiteral("kmt2.hex"), target));
    EXPECT_EQ(readFile(earlier), QByteArray("keep me"));
    EXPECT_EQ(readFile(outside), QByteArray("keep me"));

    server.serveDownload("from the server", "226 Done\r\n");
    EXPECT_TRUE(transport.fetch(QStringLiteral("kmt2.hex"), target));
    EXPECT_FALSE(QFileInfo(target).isSymLink());
    EXPECT_EQ(readFile(target), QByteArray("from the server"));
    EXPECT_EQ(readFile(outside), QByteArray("keep me"));
}

TEST_F(ScriptedTransportTest, DataConnectionGoesToTheControlPeerWhateverThePassiveReplyNames) {
    server.setPassiveAddress("10,0,0,1");
    server.serveDownload("from the control peer", "226 Done\r\n");
    EXPECT_TRUE(transport.fetch(QStringLiteral("a.bin"), localPath("a.bin")));
    EXPECT_EQ(readFile(localPath("a.bin")), QByteArray("from the control peer"));
}

TEST_F(ScriptedTransportTest, UnusablePassiveReplyOrNameFailsTheTransferBeforeAnyData) {
    server.setReply("PASV", "227 Entering Passive Mode (127,0,0,1,300,1)\r\n");
    EXPECT_FALSE(transport.fetch(QStringLiteral("a.bin"), localPath("a.bin")));
    EXPECT_FALSE(transport.fetch(QStringLiteral("a.bin\r\nDELE x"), localPath("a.bin")));
    EXPECT_FALSE(transport.fetch(QStringLiteral("fw\\"), localPath("a.bin")));
    EXPECT_FALSE(server.verbs().contains("RETR"));
    EXPECT_FALSE(server.verbs().contains("DELE"));
    EXPECT_FALSE(server.verbs().contains("LIST"));
    EXPECT_FALSE(server.verbs().contains("NLST"));
    EXPECT_FALSE(QFile::exists(localPath("a.bin")));
}

TEST_F(ScriptedTransportTest, AppendSendsTheWholeFileAndHeedsTheRefusal) {
    const QString report = localPath(QStringLiteral("log.txt"));
    QByteArray content(150000, 'r');
    content.append("\nlast line\n");
    {
        QFile file(report);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    EXPECT_TRUE(transport.append(QStringLiteral("log4\\rep.txt"), report));
    EXPECT_EQ(server.appended(), content);
    EXPECT_EQ(transport.sentBytes(), content.size());
    EXPECT_TRUE(server.commands().contains("APPE rep.txt"));

    server.setReply("APPE", "550 Permission denied\r\n");
    EXPECT_FALSE(transport.append(QStringLiteral("log4\\rep.txt"), report));
    EXPECT_EQ(outcomes.failures, QList<FtpOperation>{FtpOperation::Append});
    EXPECT_EQ(transport.errorText(), QStringLiteral("550 Permission denied"));
}

TEST_F(ScriptedTransportTest, MissingServerAndSmuggledCommandsReachNothing) {
    ServerSettings closedPort = server.settings();
    QTcpServer reserved;
    ASSERT_TRUE(reserved.listen(QHostAddress::LocalHost, 0));
    closedPort.port = reserved.serverPort();
    reserved.close();
    ServerTransport refused(closedPort, kShortLimits);
    EXPECT_FALSE(refused.fetch(QStringLiteral("a.bin"), localPath("a.bin")));
    EXPECT_EQ(refused.stop(), Stop::Connection);

    // An account name from the environment cannot smuggle in a command of its own.
    ScriptedFtpServer other;
    ServerSettings injected = other.settings();
    injected.user = QStringLiteral("tester\r\nDELE precious");
    ServerTransport smuggler(injected, kShortLimits);
    EXPECT_FALSE(smuggler.fetch(QStringLiteral("a.bin"), localPath("a.bin")));
    EXPECT_FALSE(other.verbs().contains("DELE"));
}

TEST_F(ScriptedTransportTest, ServerThatStopsAnsweringAfterLoginEndsTheOperation) {
    server.setReply("CWD", "");
    EXPECT_FALSE(transport.fetch(QStringLiteral("fw\\a.bin"), localPath("a.bin")));
    EXPECT_TRUE(transport.timedOut());
    // Not a refusal of the folder: nothing of the kind is reported.
    EXPECT_TRUE(outcomes.failures.isEmpty());
}

// Whatever a server pours in, the transport keeps no more of it in memory than its buffer: the
// rest waits in the server, and a download past the file limit fails.
TEST_F(ScriptedTransportTest, DataPouredInFasterThanTheFileTakesItIsHeldBackInTheServer) {
    constexpr qint64 kMiB = 1 << 20;
    TransferLimits limits{2000, 1000, 1000};
    limits.maxFileBytes = kMiB;
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
        ServerTransport ftp(scripted.settings(), limits);
        QTemporaryDir local;
        EXPECT_FALSE(ftp.fetch(QStringLiteral("base.bin"), local.filePath("base.bin"), c.bound));
        EXPECT_EQ(ftp.timedOut(), c.timedOut);
        EXPECT_EQ(ftp.tooLarge(), c.answered && !c.onControl);
        // A download stops once it passes its limit, not when the server's stream ends.
        EXPECT_LE(ftp.receivedBytes(), c.bound >= 0 ? c.bound : limits.maxFileBytes);
        EXPECT_TRUE(QDir(local.path()).isEmpty(QDir::Files | QDir::Hidden));
        // Past the transport's own buffer only the system's socket buffers can take data in.
        EXPECT_LT(scripted.streamedBytes(), 40 * kMiB);
    }
}

// Each wait stays short, but the whole does not end: a reply has one deadline from its command and
// a transfer a minimum average rate, so neither is stretched by lines or bytes given one by one.
TEST_F(ScriptedTransportTest, DrippedRepliesAndTrickledDataEndWithinTheirLimits) {
    TransferLimits limits{2000, 1000};
    limits.transferGraceMs = 1000;
    limits.minBytesPerSecond = 4096;
    const auto dripped = [](const QByteArray& code) {
        QByteArray lines;
        for (int i = 0; i < 40; ++i)
            lines += code + "-still here\r\n";
        return lines + code + " Done\r\n";
    };
    struct Case {
        const char* name;
        QByteArray greeting;
        QByteArray cwdReply;
        bool trickle;  // 64 bytes every 100 ms, well inside a second
    };
    const Case cases[] = {
        {"greeting dripped", dripped("220"), "250 OK", false},
        {"folder reply dripped", "220 Ready", dripped("250"), false},
        {"data trickled", "220 Ready", "250 OK", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer scripted;
        scripted.setGreeting(c.greeting);
        scripted.setReply("CWD", c.cwdReply);
        scripted.serveDownload(QByteArray(4000, 't'), "226 Done\r\n");
        if (c.trickle)
            scripted.trickleData(64, 100);
        else
            scripted.dripControl(100);
        ServerTransport ftp(scripted.settings(), limits);
        QTemporaryDir local;
        // The whole drip or trickle takes over six seconds; the limits end it long before.
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(ftp.fetch(QStringLiteral("fw\\kmt2.hex"), local.filePath("kmt2.hex")));
        EXPECT_TRUE(ftp.timedOut());
        EXPECT_LT(clock.elapsed(), 4000);
        EXPECT_TRUE(QDir(local.path()).isEmpty(QDir::Files | QDir::Hidden));
    }
}

// A cancel, or an operator's stop of the run, ends a running download at once, as a failure,
// and leaves no file; the run's report still goes out after the stop.
TEST_F(ScriptedTransportTest, StoppedDownloadEndsAndLeavesNothingButTheReportGoes) {
    struct Case {
        const char* name;
        void (*stop)(ServerTransport&);
        QString said;
    };
    const Case cases[] = {
        {"the window's cancel", [](ServerTransport& t) { t.cancel(); }, "Cancelled"},
        {"Ctrl-C or the window's stop", [](ServerTransport&) { requestRunStop(); },
         "Stopped by the operator"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer scripted;
        scripted.serveDownload(QByteArray(100000, 'c'), "226 Done\r\n");
        scripted.trickleData(1000, 20);
        TransferLimits patient{2000, 5000};
        patient.minBytesPerSecond = 1;
        ServerTransport slow(scripted.settings(), patient);
        QTimer::singleShot(300, [&slow, &c] { c.stop(slow); });
        EXPECT_FALSE(slow.fetch(QStringLiteral("kmt2.hex"), localPath("kmt2.hex")));
        EXPECT_EQ(slow.errorText(), c.said);
        EXPECT_GT(slow.receivedBytes(), 0);
        EXPECT_LT(slow.receivedBytes(), 100000);
        EXPECT_TRUE(QDir(folder.path()).isEmpty(QDir::Files | QDir::Hidden));

        const QString report = localPath("rep.txt");
        {
            QFile file(report);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("START: stopped run\n");
        }
        EXPECT_TRUE(slow.append(QStringLiteral("log4\\rep.txt"), report))
            << slow.errorText().toStdString();
        EXPECT_EQ(scripted.appended(), QByteArray("START: stopped run\n"));
        QFile::remove(report);
        clearRunStop();
    }
}

}  // namespace
}  // namespace verimant::test
