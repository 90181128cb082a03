// The update-server client against a real FTP server (pyftpdlib on 127.0.0.1).
#include "update/update_server.h"
#include "base/activity_log.h"
#include "device/device_info.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/update/scripted_ftp_server.h"
#include "update/report_outbox.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

namespace verimant::test {
namespace {

constexpr TransferLimits kTestLimits{5000, 5000};

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

DeviceInfo instrumentNumbered(const char* digits) {
    DeviceInfo info;
    info.valid = true;
    for (int i = 0; i < BoardRecord::kSerialDigitCount; ++i) {
        const char c = digits[i];
        const int nibble = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        auto& pair = info.boardRecord.raw[9 + i / 2];
        pair = static_cast<std::uint8_t>(i % 2 == 0 ? (pair & 0xF0) | nibble
                                                    : (pair & 0x0F) | (nibble << 4));
    }
    return info;
}

class UpdateServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid() && local.isValid());
        QString why;
        ASSERT_TRUE(ftp.start(&why)) << why.toStdString();
        server = std::make_unique<UpdateServer>(log, serverSettings(), kTestLimits);
    }
    ServerSettings serverSettings() const {
        auto settings = parseServerAddress(ftp.url());
        return settings.value_or(ServerSettings{});
    }
    QString onServer(const QString& path) const { return root.filePath(path); }
    QString localPath(const QString& name) const { return local.filePath(name); }

    QTemporaryDir root;
    QTemporaryDir local;
    FtpTestServer ftp{root.path()};
    ScriptedDialogs dialogs;
    ActivityLog log;
    std::unique_ptr<UpdateServer> server;
};

TEST_F(UpdateServerTest, FetchesFromTheLoginFolderAndFromFoldersAlongTheName) {
    QByteArray firmware;
    for (int i = 0; i < 300000; ++i)
        firmware.append(static_cast<char>(i * 7));
    writeFile(onServer("verimant_version_3.ini"), "[PROJECT_MANAGER]\r\nVERSION_APP=3.0.0\r\n");
    writeFile(onServer("fw/3_2/kmt2_3_2.hex"), firmware);

    EXPECT_TRUE(server->fetchFile(QStringLiteral("verimant_version_3.ini"), localPath("cfg.ini")));
    EXPECT_EQ(readFile(localPath("cfg.ini")), readFile(onServer("verimant_version_3.ini")));

    server->setProgressTotal(firmware.size());
    EXPECT_TRUE(server->fetchFile(QStringLiteral("fw\\3_2\\kmt2_3_2.hex"), localPath("kmt2.hex")));
    EXPECT_EQ(readFile(localPath("kmt2.hex")), firmware);
    EXPECT_EQ(dialogs.progress.last(), 100);
    // A file longer than announced keeps the bar at its end instead of past it.
    dialogs.progress.clear();
    server->setProgressTotal(firmware.size() / 3);
    EXPECT_TRUE(server->fetchFile(QStringLiteral("fw\\3_2\\kmt2_3_2.hex"), localPath("again.hex")));
    EXPECT_EQ(*std::max_element(dialogs.progress.begin(), dialogs.progress.end()), 100);
    // The status line names the file while it is read and is cleared afterwards.
    EXPECT_EQ(
        dialogs.statusTexts.mid(0, 2),
        (QStringList{QStringLiteral("Чтение из сервера [verimant_version_3.ini]"), QString()}));
    EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join('\n').toStdString();
}

TEST_F(UpdateServerTest, FailedFetchLogsTheNameAndLeavesNoLocalFile) {
    writeFile(onServer("fw/other.hex"), "x");
    EXPECT_FALSE(server->fetchFile(QStringLiteral("missing.hex"), localPath("a.hex")));
    EXPECT_FALSE(server->fetchFile(QStringLiteral("nofolder\\kmt2.hex"), localPath("b.hex")));
    EXPECT_EQ(
        log.lines(),
        (QStringList{
            QStringLiteral("Ошибка получения файла с сервера обновлений [missing.hex]: ERC[-1]"),
            QStringLiteral("Ошибка FTP: смена каталога не удалась: ERC[0]"),
            QStringLiteral(
                "Ошибка получения файла с сервера обновлений [nofolder\\kmt2.hex]: ERC[-1]")}));
    EXPECT_TRUE(QDir(local.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // Each operation logged in and out on its own: the server is free for the next.
    writeFile(onServer("ok.bin"), "ok");
    EXPECT_TRUE(server->fetchFile(QStringLiteral("ok.bin"), localPath("ok.bin")));
}

// The first upload makes the instrument's folders one by one, the second finds and reuses them.
TEST_F(UpdateServerTest, AppendedReportsAccumulateInTheInstrumentsFolder) {
    const DeviceInfo info = instrumentNumbered("12345678");
    server->setDeviceInfo(&info);
    server->setReportFolder(local.path());
    log.AddLine(QStringLiteral("START: первый запуск"));
    const QByteArray firstRun = log.reportBytes();
    EXPECT_TRUE(server->uploadReport(QString(), QStringLiteral("log4"), QStringLiteral("rep.txt")));
    EXPECT_EQ(readFile(localPath("log.txt")), firstRun);
    EXPECT_EQ(dialogs.progress.last(), 100);  // the upload's own progress

    log.clear();
    log.AddLine(QStringLiteral("END: второй"));
    const QByteArray secondRun = log.reportBytes();
    EXPECT_TRUE(server->uploadReport(QString(), QStringLiteral("log4"), QStringLiteral("rep.txt")));
    EXPECT_EQ(readFile(onServer("log4/1_23/45xxx/6xx/rep.txt")), firstRun + secondRun);
}

TEST_F(UpdateServerTest, ReportIsNeverWrittenThroughAFolderThatIsNotTheUsersOwn) {
    // Someone planted a link where the report folder should be: nothing goes through it.
    const QString elsewhere = localPath("elsewhere");
    QDir().mkpath(elsewhere);
    QFile::link(elsewhere, localPath("planted"));
    server->setReportFolder(localPath("planted"));
    log.AddLine(QStringLiteral("START"));
    EXPECT_FALSE(
        server->uploadReport(QString(), QStringLiteral("log4"), QStringLiteral("rep.txt")));
    EXPECT_FALSE(QFileInfo::exists(elsewhere + QStringLiteral("/log.txt")));
    EXPECT_FALSE(QFileInfo::exists(onServer("log4")));
}

TEST_F(UpdateServerTest, AppendThatKeepsFailingIsTriedThreeTimesWithItsStatusTexts) {
    writeFile(localPath("log.txt"), "report\n");
    // A folder where the report file belongs: the server refuses every append.
    QDir(root.path()).mkpath(QStringLiteral("log4/rep.txt"));
    EXPECT_FALSE(
        server->appendWithRetries(QStringLiteral("log4\\rep.txt"), localPath("log.txt"), 3));
    const QString attempt = QStringLiteral("Добавление на сервер");
    EXPECT_EQ(dialogs.statusTexts,
              (QStringList{attempt, QString(), attempt + QStringLiteral(" Попытка 2"), QString(),
                           attempt + QStringLiteral(" Попытка 3"), QString()}));
    EXPECT_EQ(log.lines().count(QStringLiteral(
                  "Ошибка добавления файла на сервера обновлений [log4\\rep.txt]: ERC[-1]")),
              1);  // the log shows a repeated line once
    EXPECT_FALSE(server->appendWithRetries(QString(), localPath("log.txt"), 3));
}

// A report the server will not take waits in the user's outbox, and goes first, once, at the next
// run that reaches the server; a later report never overtakes it.
TEST_F(UpdateServerTest, RefusedReportWaitsInTheOutboxAndGoesFirstAtTheNextRun) {
    const DeviceInfo info = instrumentNumbered("12345678");
    const QString onServerReport = onServer("log4/1_23/45xxx/6xx/rep.txt");
    // A folder where the report file belongs: the server refuses every append.
    QDir().mkpath(onServerReport);
    const ReportOutbox outbox;
    EXPECT_EQ(outbox.folder(), qEnvironmentVariable("XDG_DATA_HOME") + "/verimant-manager/outbox");
    QByteArray expected;
    const auto run = [&](const char* line) {
        UpdateServer server(log, serverSettings(), kTestLimits);
        server.setDeviceInfo(&info);
        server.setReportFolder(local.path());
        log.clear();
        log.AddLine(QString::fromLatin1(line));
        expected += log.reportBytes();
        return server.uploadReport(QString(), QStringLiteral("log4"), QStringLiteral("rep.txt"));
    };
    EXPECT_FALSE(run("first run, server refuses"));
    EXPECT_FALSE(run("second run, server refuses"));
    ASSERT_EQ(outbox.waiting().size(), 2);
    EXPECT_EQ(outbox.waiting().first().remotePath,
              QStringLiteral("log4\\1_23\\45xxx\\6xx\\rep.txt"));

    ASSERT_TRUE(QDir(onServerReport).removeRecursively());
    EXPECT_TRUE(run("third run, server takes all"));
    EXPECT_TRUE(outbox.waiting().isEmpty());
    EXPECT_EQ(readFile(onServerReport), expected);

    // Each once: nothing is sent again.
    EXPECT_TRUE(run("fourth run"));
    EXPECT_EQ(readFile(onServerReport), expected);
}

// The one line, word for word, is also the proof that no password reaches the log.
TEST_F(UpdateServerTest, MissingOrRefusingServerIsOneConnectionLineWithoutThePassword) {
    ServerSettings wrong = serverSettings();
    wrong.password = QStringLiteral("not-the-password");
    UpdateServer refused(log, wrong, kTestLimits);
    EXPECT_FALSE(refused.fetchFile(QStringLiteral("a.bin"), localPath("a.bin")));

    ftp.stop();
    EXPECT_FALSE(server->fetchFile(QStringLiteral("a.bin"), localPath("a.bin")));
    EXPECT_FALSE(server->appendWithRetries(QStringLiteral("log4\\rep.txt"), localPath("a.bin"), 3));
    EXPECT_EQ(log.lines(),
              QStringList{QStringLiteral("Ошибка: Нет соединения с сервером обновлений: ERC[0]")});
}

TEST(InstrumentFolder, FollowsTheSerialNumberAndFallsBackForUnknownInstruments) {
    const DeviceInfo numbered = instrumentNumbered("12345678");
    const DeviceInfo blank = instrumentNumbered("ffffffff");
    DeviceInfo unread = numbered;
    unread.valid = false;
    const DeviceInfo lettered = instrumentNumbered("a0b12c34");
    const struct {
        const DeviceInfo* info;
        const char* folder;
    } cases[] = {
        {&numbered, "log4\\1_23\\45xxx\\6xx\\"}, {&lettered, "log4\\A_0B\\12xxx\\Cxx\\"},
        {&blank, "log4\\__no_number\\"},         {&unread, "log4\\__no_number\\"},
        {nullptr, "log4\\__no_number\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(instrumentFolderFor(QStringLiteral("log4"), c.info),
                  QString::fromLatin1(c.folder));
}

TEST(UpdateServerScripted, EveryOperationLogsInAndQuitsOnSuccessAndFailureAlike) {
    ScriptedFtpServer scripted;
    scripted.setReply("CWD", "550 No such folder\r\n");
    ScriptedDialogs dialogs;
    ActivityLog log;
    UpdateServer server(log, scripted.settings(), TransferLimits{2000, 400, 1000});
    QTemporaryDir local;
    EXPECT_FALSE(server.fetchFile(QStringLiteral("fw\\kmt2.hex"), local.filePath("k.hex")));
    EXPECT_EQ(scripted.verbs(), (QList<QByteArray>{"USER", "PASS", "PWD", "CWD", "QUIT"}));
    EXPECT_EQ(server.resultFlag(), -1);

    // Entering the folders it needs.
    scripted.setReply("CWD", "250 OK\r\n");
    EXPECT_TRUE(server.makeFolders(QStringLiteral("log4\\rep.txt")));
    EXPECT_EQ(scripted.verbs().mid(5), (QList<QByteArray>{"USER", "PASS", "PWD", "CWD", "QUIT"}));
    EXPECT_EQ(scripted.connectionCount(), 2);
}

TEST(UpdateServerScripted, FolderMadeByAnotherRunMeanwhileIsEnteredNotCountedAsFailure) {
    // Two runs reporting at once: the other one made "log4" between this run's CWD and MKD.
    ScriptedFtpServer scripted;
    scripted.queueReplies("CWD", {"550 No such folder\r\n", "250 OK\r\n"});
    scripted.setReply("MKD", "550 Folder exists\r\n");
    ScriptedDialogs dialogs;
    ActivityLog log;
    UpdateServer server(log, scripted.settings(), TransferLimits{2000, 400, 1000});
    EXPECT_TRUE(server.makeFolders(QStringLiteral("log4\\rep.txt")));
    EXPECT_EQ(scripted.verbs(),
              (QList<QByteArray>{"USER", "PASS", "PWD", "CWD", "MKD", "CWD", "QUIT"}));
    EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join('\n').toStdString();
}

TEST(UpdateServerScripted, SilentServerEndsTheFetchAsAFailure) {
    ScriptedFtpServer scripted;
    scripted.serveDownload("part", "", false);
    ScriptedDialogs dialogs;
    ActivityLog log;
    UpdateServer server(log, scripted.settings(), TransferLimits{2000, 400, 1000});
    QTemporaryDir local;
    EXPECT_FALSE(server.fetchFile(QStringLiteral("kmt2.hex"), local.filePath("k.hex")));
    EXPECT_FALSE(QFile::exists(local.filePath("k.hex")));
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral(
                               "Ошибка получения файла с сервера обновлений [kmt2.hex]: ERC[-1]")});
}

// A server left in ASCII mode converts line ends inside the image; where it states the file's size,
// any other length gives the conversion (or a cut) away. Either way nothing may land locally.
TEST(UpdateServerScripted, FileIsTakenOnlyInBinaryModeAndAtTheLengthTheServerStates) {
    const QByteArray image = "line 1\r\nline 2\n";  // 15 bytes
    const QByteArray login = "USER tester|PASS secret|PWD|PASV|TYPE I";
    const QByteArray binaryFetch = login + "|SIZE kmt2.hex|RETR kmt2.hex|QUIT";
    const QString notFetched =
        QStringLiteral("Ошибка получения файла с сервера обновлений [kmt2.hex]: ERC[-1]");
    struct Case {
        const char* name;
        QList<QByteArray> typeReplies;  // before the standing "200 Type set"
        QByteArray sizeReply;
        bool fetched;
        QByteArray commands;
        QString logged;
    };
    const QList<Case> cases = {
        {"binary accepted", {}, "213 15", true, binaryFetch, {}},
        {"binary refused",
         {"504 Only ASCII here"},
         "213 15",
         false,
         login + "|QUIT",
         QStringLiteral(
             "Ошибка FTP: сервер не принял двоичный режим [504 Only ASCII here]: ERC[0]")},
        {"longer than the data", {}, "213 17", false, binaryFetch, notFetched},
        // Cut off at the first byte too many, without waiting for the rest.
        {"shorter than the data", {}, "213 13", false, binaryFetch.chopped(5), notFetched},
        {"size unknown", {}, "502 Not implemented", true, binaryFetch, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer scripted;
        scripted.queueReplies("TYPE", c.typeReplies);
        scripted.setReply("SIZE", c.sizeReply);
        scripted.serveDownload(image, "226 Done\r\n");
        ScriptedDialogs dialogs;
        ActivityLog log;
        UpdateServer server(log, scripted.settings(), TransferLimits{2000, 400, 1000});
        QTemporaryDir local;
        const QString target = local.filePath(QStringLiteral("kmt2.hex"));
        EXPECT_EQ(server.fetchFile(QStringLiteral("kmt2.hex"), target), c.fetched);
        EXPECT_EQ(readFile(target), c.fetched ? image : QByteArray("<missing>"));
        EXPECT_EQ(scripted.commands().join('|').toStdString(), c.commands.toStdString());
        EXPECT_EQ(log.lines(), c.logged.isEmpty() ? QStringList{} : QStringList{c.logged});
    }
}

}  // namespace
}  // namespace verimant::test
