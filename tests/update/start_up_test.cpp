// Start-up against a real FTP server (pyftpdlib on 127.0.0.1) publishing the demo update set,
// with the boxes answered by a script and the window's part recorded.
#include "update/start_up.h"

#include "base/activity_log.h"
#include "base/ui_language.h"
#include "platform/cp1251.h"
#include "platform/instance_lock.h"
#include "platform/setting_store.h"
#include "platform/temp_folder.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_environment.h"
#include "update/config_limits.h"
#include "update/config_signature.h"
#include "update/serial_number_base.h"
#include "update/update_config.h"
#include "update/update_run.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <functional>
#include <memory>

namespace verimant::test {

// Outside the anonymous namespace: the meta-object code needs to reach it.
class StartUpAddressCatcher : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void open(const QUrl& url) { opened.append(url.toString()); }
};

namespace {

const QString kSetFolder = QStringLiteral(VERIMANT_SOURCE_DIR "/examples/update-server");

// The window's part, recorded in the order start-up asks for it. When the timer starts, what
// the run then holds is noted, to show that nothing comes after it.
class RecordingWindow final : public StartUpWindow {
public:
    explicit RecordingWindow(UpdateRun& run) : run_(run) {}

    QStringList events;
    int recordsWhenTimerStarted = -1;
    int languagesWhenTimerStarted = -1;

    void createDeviceLink() override { events << "link"; }
    void LoadLanguage() override {
        verimant::LoadLanguage();
        events << "language";
    }
    void SetLogVisible(bool visible) override { events << (visible ? "log shown" : "log hidden"); }
    void setCaption(const QString& caption) override { events << "caption " + caption; }
    void startConnectionTimer() override {
        events << "timer";
        recordsWhenTimerStarted = run_.base().recordCount();
        languagesWhenTimerStarted = run_.config().languageCatalog().count;
    }
    void requestTermination() override { events << "terminate"; }

private:
    UpdateRun& run_;
};

class StartUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeUserInt32(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("LANGUAGE"), 1);
        serverRoot = testRootDir() + "/server";
        QDir().mkpath(serverRoot);
        for (const QString& name : QDir(kSetFolder).entryList(QDir::Files)) {
            ASSERT_TRUE(QFile::copy(kSetFolder + "/" + name, serverRoot + "/" + name));
        }
        ftp = std::make_unique<FtpTestServer>(serverRoot);
        QString why;
        ASSERT_TRUE(ftp->start(&why)) << why.toStdString();
        ftp->exportToEnvironment();
        run = std::make_unique<UpdateRun>(log, updateServerSettings(), TransferLimits{5000, 5000});
        window = std::make_unique<RecordingWindow>(*run);
        QDesktopServices::setUrlHandler("https", &addresses, "open");
        QDesktopServices::setUrlHandler("http", &addresses, "open");
    }

    void TearDown() override {
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("http");
    }

    StartUpOutcome startUp() { return runStartUp(*window, lock, *run); }

    // Forgets what an earlier start in the same test left behind, so a table's cases stand alone.
    void forgetEarlierStart() {
        lock.release();
        dialogs.boxes.clear();
        addresses.opened.clear();
        window->events.clear();
        log.clear();
    }

    // Replaces the value of `key` (every occurrence) in the published configuration.
    void setConfigValue(const QString& key, const QString& value) {
        const QString path = serverRoot + "/" + UpdateRun::kConfigName;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QStringList lines = decodeCp1251(file.readAll()).split("\r\n");
        file.close();
        int replaced = 0;
        for (QString& line : lines) {
            if (line.startsWith(key + "=")) {
                line = key + "=" + value;
                ++replaced;
            }
        }
        ASSERT_GT(replaced, 0) << key.toStdString();
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(encodeCp1251(lines.join("\r\n")));
        // The edited configuration is no longer the one the demo key signed.
        QFile::remove(path + kSignatureSuffix);
    }

    QStringList eventsWithoutCaptions() const {
        QStringList events = window->events;
        events.replaceInStrings(QRegularExpression("^caption .*"), "caption");
        return events;
    }

    // The log from the start banner on (the server's own lines come before it).
    QStringList bannerLines() const {
        const qsizetype at = log.lines().indexOf(QString(40, '='));
        return at < 0 ? QStringList() : log.lines().mid(at, 3);
    }

    QString serverRoot;
    std::unique_ptr<FtpTestServer> ftp;
    ScriptedDialogs dialogs;
    ActivityLog log;
    SingleInstanceLock lock;
    std::unique_ptr<UpdateRun> run;
    std::unique_ptr<RecordingWindow> window;
    StartUpAddressCatcher addresses;
};

TEST_F(StartUpTest, NormalStartClearsTheFolderLoadsTheSetAndStartsTheTimerLast) {
    // An earlier run's downloads and report are in the folder; they must not survive.
    const QString folder = toolTempFolder();
    ASSERT_EQ(preparePrivateFolder(folder), PrivateFolderStatus::Ready);
    for (const char* stale : {"verimant_version_3.ini", "verimant_kmt2_3_2.hex", "log.txt"}) {
        QFile file(folder + "/" + stale);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("left by an earlier run");
    }

    ASSERT_EQ(startUp(), StartUpOutcome::Ready);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_EQ(window->events,
              QStringList({"link", "language", "log hidden",
                           "caption Pelma Verimant Manager 1.2.19 (29.06.2026)", "timer"}));
    EXPECT_TRUE(lock.held());

    const QStringList banner = bannerLines();
    ASSERT_EQ(banner.size(), 3);
    EXPECT_TRUE(banner[1].startsWith("START: ")) << banner[1].toStdString();

    // The base and the catalogue were in place before the timer ran.
    EXPECT_EQ(window->recordsWhenTimerStarted, 400);
    EXPECT_EQ(window->languagesWhenTimerStarted, 6);

    EXPECT_EQ(run->tempFolder(), folder);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files),
              QStringList({"verimant_sn_base.bin", "verimant_version_3.ini"}));
    QFile config(run->configPath());
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    EXPECT_FALSE(config.readAll().contains("earlier run"));
}

TEST_F(StartUpTest, SecondCopyIsWarnedInItsLanguageAndStopsBeforeAnythingElse) {
    struct Case {
        int storedLanguage;
        const char* warning;
    };
    for (const Case& c :
         {Case{1, "Приложение уже запущено!"}, Case{2, "Application alredy running!"}}) {
        SCOPED_TRACE(c.warning);
        writeUserInt32(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("LANGUAGE"),
                       c.storedLanguage);
        SingleInstanceLock firstCopy;
        ASSERT_TRUE(firstCopy.acquire(QString::fromLatin1(kSingleInstanceName)));
        forgetEarlierStart();

        EXPECT_EQ(startUp(), StartUpOutcome::Terminated);
        EXPECT_EQ(dialogs.textsOf("warning"), QStringList({QString::fromUtf8(c.warning)}));
        EXPECT_EQ(window->events, QStringList({"link", "language", "terminate"}));
        EXPECT_FALSE(lock.held());
        EXPECT_TRUE(run->tempFolder().isEmpty()) << "the first copy's folder stays untouched";
        EXPECT_TRUE(log.lines().isEmpty());
    }
}

// A lock file that someone planted says nothing about another copy: the box says what is wrong.
TEST_F(StartUpTest, AnUntrustworthyLockIsNotTakenForASecondCopy) {
    const QString lockFile = SingleInstanceLock::lockPath(QString::fromLatin1(kSingleInstanceName));
    ASSERT_TRUE(QFile::link(testRootDir() + "/elsewhere", lockFile));
    forgetEarlierStart();

    EXPECT_EQ(startUp(), StartUpOutcome::Terminated);
    QFile::remove(lockFile);
    EXPECT_TRUE(dialogs.textsOf("warning").isEmpty()) << qPrintable(dialogs.textsOf("warning")[0]);
    ASSERT_EQ(dialogs.textsOf("error").size(), 1);
    const QString error = dialogs.textsOf("error")[0];
    EXPECT_TRUE(error.contains("lock file") || error.contains(QString::fromUtf8("файл блокировки")))
        << qPrintable(error);
    EXPECT_TRUE(log.lines().join('\n').contains("ERROR INSTANCE LOCK [" + lockFile + "]"));
    EXPECT_FALSE(lock.held());
}

TEST_F(StartUpTest, WithoutServerNoStopsAndYesEndsAtTheMissingBase) {
    ftp->stop();
    struct Case {
        bool goOn;
        QStringList events;
        QStringList errors;
    };
    const QList<Case> cases = {
        {false, {"link", "language", "log hidden", "terminate"}, {}},
        {true,
         {"link", "language", "log hidden", "caption", "terminate"},
         {"Ошибка загрузки базы серийных номеров"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.goOn ? "Yes" : "No");
        forgetEarlierStart();
        dialogs.yesNoAnswers.clear();
        dialogs.yesNoAnswers.enqueue(c.goOn);

        EXPECT_EQ(startUp(), StartUpOutcome::Terminated);
        EXPECT_EQ(dialogs.textsOf("warning question"),
                  QStringList({"Нет выхода в интернет или невозможно получить конфигурацию с "
                               "сервера!\nВсе равно продолжить?"}));
        EXPECT_EQ(dialogs.textsOf("error"), c.errors);
        EXPECT_EQ(eventsWithoutCaptions(), c.events);
        EXPECT_EQ(bannerLines().isEmpty(), !c.goOn) << "the banner follows the answer Yes only";
    }
}

// A configuration whose signature fails is never read: start-up asks as for one that could not
// be fetched, and on Yes goes on with nothing from it (so no base name either).
TEST_F(StartUpTest, ARefusedConfigurationIsAskedAboutLikeAMissingOneAndNeverRead) {
    const QString config = serverRoot + "/" + UpdateRun::kConfigName;
    const QString policy = qEnvironmentVariable("VERIMANT_POLICY_FILE");
    const auto writeFile = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    const auto readFile = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray original = readFile(config);
    const QByteArray signature = readFile(config + kSignatureSuffix);
    struct Case {
        const char* what;
        std::function<void()> spoil;
        const char* reason;
    };
    const Case cases[] = {
        {"changed after signing", [&] { writeFile(config, original + "\r\n"); },
         "not valid under any trusted key"},
        {"unsigned under the machine's policy",
         [&] {
             QFile::remove(config + kSignatureSuffix);
             writeFile(policy, "RequireSignedConfiguration=true\n");
         },
         "unsigned, and signatures are required"},
        {"longer than the cap",
         [&] { writeFile(config, original + QByteArray(kMaxConfigBytes, ';')); },
         "больше 4 МиБ и не принята"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(config, original);
        writeFile(config + kSignatureSuffix, signature);
        c.spoil();
        forgetEarlierStart();
        dialogs.yesNoAnswers.clear();
        dialogs.yesNoAnswers.enqueue(true);

        EXPECT_EQ(startUp(), StartUpOutcome::Terminated);
        EXPECT_EQ(dialogs.textsOf("warning question").size(), 1);
        EXPECT_EQ(dialogs.textsOf("error"), QStringList({"Ошибка загрузки базы серийных номеров"}));
        EXPECT_TRUE(log.lines().join('\n').contains(c.reason))
            << log.lines().join('\n').toStdString();
        EXPECT_FALSE(QFile::exists(run->configPath()));
        QFile::remove(policy);
    }
}

// A policy file that cannot be understood ends start-up before anything is fetched, with the file
// and line shown: the window never runs an update under a policy it had to guess.
TEST_F(StartUpTest, APolicyFileThatCannotBeUnderstoodStopsStartUp) {
    const QString policy = qEnvironmentVariable("VERIMANT_POLICY_FILE");
    QFile file(policy);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("# signed sets only\nRequireSignedConfiguration=sure\n");
    file.close();
    forgetEarlierStart();

    EXPECT_EQ(startUp(), StartUpOutcome::Terminated);
    const QStringList errors = dialogs.textsOf("error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.at(0).contains(policy + ":2: 'sure' is not")) << errors.at(0).toStdString();
    EXPECT_TRUE(dialogs.textsOf("warning question").isEmpty());
    EXPECT_FALSE(QFile::exists(run->configPath()));
    QFile::remove(policy);
}

TEST_F(StartUpTest, ABaseThatDoesNotMatchItsSignedHashStopsTheRun) {
    QFile base(serverRoot + "/verimant_sn_base.bin");
    ASSERT_TRUE(base.open(QIODevice::Append));
    base.write("one more block");
    base.close();

    EXPECT_EQ(startUp(), StartUpOutcome::Terminated);
    EXPECT_EQ(dialogs.textsOf("error"), QStringList({"Ошибка загрузки базы серийных номеров"}));
    EXPECT_EQ(window->events.last(), "terminate");
}

TEST_F(StartUpTest, OutdatedToolWarnsOpensBothAddressesAndStopsOnlyForActionOne) {
    setConfigValue("UPGRADE_URL_1", "https://pelma.example/get/manager");
    setConfigValue("UPGRADE_URL_2", "https://mirror.pelma.example/manager");
    struct Case {
        const char* published;
        int action;
        bool outdated;
        bool stops;
    };
    const Case cases[] = {
        {"1.2.19", 1, false, false}, {"1.2.18", 1, false, false}, {"1.2", 1, false, false},
        {"1.2.20", 1, true, true},   {"1.3.0", 2, true, false},   {"2.0.0", 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.published);
        setConfigValue("VERSION_APP", c.published);
        setConfigValue("ACTION_IF_NEED_UPGRADE", QString::number(c.action));
        forgetEarlierStart();

        EXPECT_EQ(startUp(), c.stops ? StartUpOutcome::Terminated : StartUpOutcome::Ready);
        EXPECT_EQ(dialogs.textsOf("warning").size(), c.outdated ? 1 : 0);
        EXPECT_EQ(addresses.opened.size(), c.outdated ? 2 : 0);
        EXPECT_EQ(window->events.last(), c.stops ? "terminate" : "timer");
    }
    // The box of the last case, and the addresses in their order.
    EXPECT_EQ(dialogs.textsOf("warning").value(0),
              "У Вас установлено приложение версии: 1.2.19\nДоступна новая версия 2.0.0\n"
              "Адрес для загрузки:\nhttps://pelma.example/get/manager");
    EXPECT_EQ(addresses.opened, QStringList({"https://pelma.example/get/manager",
                                             "https://mirror.pelma.example/manager"}));
}

TEST_F(StartUpTest, OnlyWebAddressesFromTheServerReachTheDesktop) {
    setConfigValue("VERSION_APP", "9.9.9");
    setConfigValue("UPGRADE_URL_1", "file:///etc/passwd");
    setConfigValue("UPGRADE_URL_2", "http://pelma.example/manager");
    writeUserInt32(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("LANGUAGE"), 2);

    EXPECT_EQ(startUp(), StartUpOutcome::Ready);
    EXPECT_EQ(addresses.opened, QStringList({"http://pelma.example/manager"}));
    EXPECT_TRUE(
        log.lines().contains("ERROR UPGRADE URL [file:///etc/passwd] : not a web address: "
                             "ERC[0]"));
    EXPECT_EQ(dialogs.textsOf("warning"),
              QStringList({"Your Application Version is :1.2.19\nAvalible new Version 9.9.9\n"
                           "Address for downloading:\nfile:///etc/passwd"}));
}

TEST_F(StartUpTest, BaseThatCannotBeFetchedOrWouldLeaveTheFolderStopsTheRun) {
    const QString outside = QFileInfo(toolTempFolder()).absolutePath() + "/outside.bin";
    for (const char* name : {"missing_base.bin", "", "..\\outside.bin", "../outside.bin"}) {
        SCOPED_TRACE(name);
        setConfigValue("BASE_NAME", name);
        forgetEarlierStart();

        EXPECT_EQ(startUp(), StartUpOutcome::Terminated);
        EXPECT_EQ(dialogs.textsOf("error"), QStringList({"Ошибка загрузки базы серийных номеров"}));
        EXPECT_EQ(window->events.last(), "terminate");
        EXPECT_FALSE(QFile::exists(outside));
        EXPECT_EQ(run->base().recordCount(), 0);
    }
}

TEST_F(StartUpTest, RefusedTemporaryFolderIsNeverEmptiedNorWrittenThrough) {
    const QString folder = toolTempFolder();
    const QString elsewhere = testRootDir() + "/someone-elses";
    QDir().mkpath(elsewhere);
    QFile precious(elsewhere + "/precious.txt");
    ASSERT_TRUE(precious.open(QIODevice::WriteOnly));
    precious.close();

    struct Case {
        const char* what;
        std::function<void()> plant;
    };
    const QList<Case> cases = {
        {"link planted where the folder belongs", [&] { QFile::link(elsewhere, folder); }},
        {"folder open to everyone",
         [&] {
             QDir().mkpath(folder);
             QFile::copy(elsewhere + "/precious.txt", folder + "/precious.txt");
             QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(folder);
        QDir(folder).removeRecursively();
        c.plant();
        forgetEarlierStart();

        EXPECT_EQ(startUp(), StartUpOutcome::Terminated);
        EXPECT_EQ(dialogs.textsOf("error"), QStringList({"Ошибка создания временного каталога"}));
        EXPECT_EQ(window->events.last(), "terminate");
        EXPECT_TRUE(run->tempFolder().isEmpty());
        EXPECT_TRUE(QFile::exists(folder + "/precious.txt")) << "nothing was deleted through it";
        EXPECT_FALSE(QFile::exists(folder + "/" + UpdateRun::kConfigName));
    }
}

}  // namespace
}  // namespace verimant::test

#include "start_up_test.moc"
