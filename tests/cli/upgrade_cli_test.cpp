// verimant-cli upgrade and check as programs, against simulated instruments in this test's ports
// folder and a real FTP server serving the demo's update set.

#include "platform/temp_folder.h"
#include "sim/pty_instrument.h"
#include "tests/cli/cli_process.h"
#include "tests/cli/mirror_fixture.h"
#include "tests/device/sealed_firmware_region.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/sim_versions.h"
#include "tests/support/update_set_folder.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace verimant::test {
namespace {

constexpr std::uint32_t kMainStart = 0x08004000;
constexpr std::uint32_t kChecksumAddress = kMainStart + 0x10000 - 4;

class UpgradeCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(set.copyDemoSet());
        // Two registered instruments whose report folders differ.
        ASSERT_TRUE(set.writeBase({"12345678;Verimant;278;2;1;1;1000;RU;0;0;0;0;0;0;0;0",
                                   "22345678;Verimant;278;2;1;1;1001;RU;0;0;0;0;0;0;0;0"}));
        QString problem;
        ASSERT_TRUE(server.start(&problem)) << problem;
        server.exportToEnvironment();
        // Each test starts with this user's data (history, trust) as fresh as under ctest.
        QDir(qEnvironmentVariable("XDG_DATA_HOME") + "/verimant-manager").removeRecursively();
    }

    sim::PtyInstrument& plugIn(int port, const QString& serial, bool paced = false, int lateMs = 0,
                               long long stuckByteAt = -1, const QString& serialAfterRestart = {}) {
        sim::InstrumentConfig config;
        config.serial = serial;
        config.checksumWordAddress = kChecksumAddress;
        sim::PtyInstrumentOptions options;
        options.portNumber = port;
        options.resetDelayMs = 300;
        options.paced = paced;
        options.faults.lateMs = lateMs;
        options.faults.stuckByteAt = stuckByteAt;
        options.faults.serialAfterRestart = serialAfterRestart;
        instruments.push_back(std::make_unique<sim::PtyInstrument>(config, options));
        QString error;
        EXPECT_TRUE(instruments.back()->start(&error)) << error;
        return *instruments.back();
    }

    // An instrument that already runs the main firmware `mainVersion` and the data version text
    // `eflText`.
    sim::PtyInstrument& plugInAt(int port, const QString& serial, std::uint16_t mainVersion,
                                 const QByteArray& eflText) {
        sim::InstrumentConfig config;
        config.serial = serial;
        config.checksumWordAddress = kChecksumAddress;
        config.mainVersion = mainVersion;
        config.eflVersionText = eflText;
        sim::PtyInstrumentOptions options;
        options.portNumber = port;
        options.resetDelayMs = 300;
        instruments.push_back(std::make_unique<sim::PtyInstrument>(config, options));
        QString error;
        EXPECT_TRUE(instruments.back()->start(&error)) << error;
        return *instruments.back();
    }

    static QStringList toolFolderEntries() {
        return QDir(toolTempFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    // The upgrade ended as a failed write, with the stuck byte's address in the log and the
    // report, after the main firmware's read-back passed.
    void expectStuckByteFound(const CliResult& result, qsizetype stuck) const;

    // Every report on the server, joined: which folder one lands in depends on how far the
    // readout got.
    // The report files on the server, by their path below its root.
    QStringList reportFiles() const {
        QStringList paths;
        QDirIterator files(set.root() + "/log4", {"rep.txt"}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            paths << files.next().mid(set.root().size() + 1);
        }
        return paths;
    }

    QString reports() const {
        QString joined;
        QDirIterator files(set.root() + "/log4", {"rep.txt"}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            joined += QString::fromUtf8(set.file(files.next().mid(set.root().size() + 1)));
        }
        return joined;
    }

    UpdateSetFolder set{testRootDir() + "/server"};
    FtpTestServer server{set.root()};
    std::vector<std::unique_ptr<sim::PtyInstrument>> instruments;
};

TEST_F(UpgradeCliTest, TwoInstrumentsAreUpgradedAtOnceEachFromItsOwnFolderAndReportedToTheServer) {
    sim::PtyInstrument& first = plugIn(7, "12345678");
    sim::PtyInstrument& second = plugIn(8, "22345678");
    const QStringList common{"upgrade", "--packet", "RU_EN", "--yes"};
    QProcess runs[2];
    runs[0].start(builtProgram("verimant-cli"),
                  common + QStringList{"--port", "7", "--language", "RUS"});
    runs[1].start(builtProgram("verimant-cli"),
                  common + QStringList{"--port", "8", "--language", "0"});
    for (QProcess& run : runs) {
        run.closeWriteChannel();
    }
    for (QProcess& run : runs) {
        ASSERT_TRUE(run.waitForFinished(120000));
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        const QString err = QString::fromUtf8(run.readAllStandardError());
        EXPECT_EQ(run.exitCode(), 0) << err << "\n" << out;
        EXPECT_TRUE(err.contains("Information: Поздравляем!!! Обновление успешно завершено!") ||
                    err.contains("Information: Congratulations!!!  Udating successfully finished!"))
            << err;
        EXPECT_TRUE(out.contains("OK NEW LANGUAGE = ")) << out;
    }

    const QByteArray data = set.file("verimant_efl_ru_en_1_6.bin");
    const QByteArray region =
        sealedFirmwareRegion(set.file("verimant_kmt2_3_2.hex"), kMainStart, kChecksumAddress);
    ASSERT_FALSE(region.isEmpty());
    for (sim::PtyInstrument* instrument : {&first, &second}) {
        instrument->withInstrument([&](sim::Instrument& device) {
            EXPECT_TRUE(device.externalFlash().read(0, int(data.size())) == data);
            EXPECT_TRUE(device.processorFlash().read(kMainStart, int(region.size())) == region);
            EXPECT_EQ(device.parameter(6).value_or(-1), 0);
        });
    }
    for (const char* folder : {"/log4/1_23/45xxx/6xx/rep.txt", "/log4/2_23/45xxx/6xx/rep.txt"}) {
        const QByteArray report = set.file(QString::fromLatin1(folder).mid(1));
        EXPECT_TRUE(report.contains("==>Update_EFL")) << folder;
        EXPECT_TRUE(report.contains("END: ")) << folder;
    }
    EXPECT_TRUE(toolFolderEntries().isEmpty()) << toolFolderEntries().join(' ');
}

TEST_F(UpgradeCliTest, CheckPrintsWhatWouldChangeAndWritesNothing) {
    sim::PtyInstrument& instrument = plugIn(7, "12345678");

    CliResult result = runCli({"check", "--port", "7", "--packet", "EURO"});

    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_TRUE(
        result.out.contains("instrument: 1-23-45678, TRV-278.2, model 'T23', KMT2 2.3, "
                            "EFL 1.5\n"
                            "record: board 278, board version 2, language set RU\n"
                            "packet: EURO\n"
                            "firmware set: SOFT_SET:TRV-278.V2.T23.EURO: KMT2 3.2 "
                            "(verimant_kmt2_3_2.hex), EFL 1.6 "
                            "(verimant_efl_euro_1_6.bin)\n"
                            "changes: KMT2 [2.3] --> [3.2]\n"
                            "  EFL  [1.5] --> [1.6]\n"))
        << result.out;
    EXPECT_FALSE(result.err.contains("Question")) << result.err;

    // Several packets and nobody to ask: the run stops before the firmware set is fetched.
    result = runCli({"check", "--port", "7"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(
        result.err.contains("several packets are offered (RU_EN, EURO): choose one with "
                            "--packet NAME"))
        << result.err;
    EXPECT_FALSE(result.out.contains("Чтение из сервера [verimant_kmt2")) << result.out;

    // A packet the instrument is not offered, and a language the catalogue does not know.
    result = runCli({"upgrade", "--port", "7", "--packet", "ASIA", "--yes"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(
        result.err.contains("the packet 'ASIA' is not offered for this instrument; "
                            "offered: RU_EN, EURO"))
        << result.err;
    result = runCli({"upgrade", "--port", "7", "--packet", "RU_EN", "--language", "KLINGON"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_FALSE(result.out.contains("==>DeviceInformation_Get")) << result.out;

    instrument.withInstrument(
        [](sim::Instrument& device) { EXPECT_TRUE(device.flashOperations().empty()); });
    EXPECT_TRUE(toolFolderEntries().isEmpty()) << toolFolderEntries().join(' ');
}

// Both writers read back what they wrote, unless --no-verify says otherwise; a data byte the flash
// did not take ends the upgrade as a failed write does, and the report says where.
TEST_F(UpgradeCliTest, VerifiedUpgradeFailsOnAByteTheFlashDidNotTake) {
    const QByteArray data = set.file("verimant_efl_ru_en_1_6.bin");
    const qsizetype stuck = data.indexOf(QByteArray(1, '\0'), data.size() / 2);
    ASSERT_GE(stuck, 0);
    struct Case {
        int port;
        QStringList options;
        bool verified;
    };
    const Case cases[] = {{7, {"--verify"}, true}, {8, {}, true}, {9, {"--no-verify"}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        plugIn(c.port, "12345678", false, 0, stuck);
        const CliResult result = runCli(QStringList{"upgrade", "--port", QString::number(c.port),
                                                    "--packet", "RU_EN", "--yes"} +
                                        c.options);
        if (c.verified) {
            expectStuckByteFound(result, stuck);
        } else {
            EXPECT_EQ(result.exitCode, 0) << result.err;
            EXPECT_FALSE(result.out.contains(QString::fromUtf8("# ПРОВЕРКА"))) << result.out;
        }
    }
}

void UpgradeCliTest::expectStuckByteFound(const CliResult& result, qsizetype stuck) const {
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_TRUE(result.err.contains("Ошибка обновления!") || result.err.contains("Updating Error"))
        << result.err;
    const QString where =
        "A=0x" + QString::number(stuck, 16).toUpper().rightJustified(6, u'0') + ", ";
    const QString mismatch = QString::fromUtf8("# ПРОВЕРКА: расхождение с ") + where + "байт: 1";
    EXPECT_TRUE(result.out.contains(QString::fromUtf8("# ПРОВЕРКА: OK"))) << "the main firmware";
    EXPECT_TRUE(result.out.contains(mismatch)) << mismatch << "\n" << result.out.right(2000);
    // The report is in CP1251; its address part reads the same either way.
    EXPECT_TRUE(reports().contains(where)) << reports().right(2000);
}

// A language the catalogue knows but no packet that could be chosen carries could never be set
// after both files were written: it stops the run with exit 2 before anything goes into the
// instrument. Where the configuration alone tells, before the instrument is read and any firmware
// is downloaded; where only the instrument's packets tell, after its readout, and the report then
// goes to its own folder.
TEST_F(UpgradeCliTest, LanguageOutsideThePacketStopsBeforeAnythingIsWritten) {
    ASSERT_TRUE(set.writeBase({"12345678;Verimant;278;2;1;1;1000;RU;0;0;0;0;0;0;0;0",
                               "32345678;Verimant;278;2;1;1;1002;EU;0;0;0;0;0;0;0;0"}));
    std::vector<sim::PtyInstrument*> plugged{&plugIn(7, "12345678"), &plugIn(8, "32345678")};
    struct Case {
        QStringList arguments;
        QString says;
        bool readsInstrument;
    };
    const QString outside = " is none of the languages of the packet ";
    const std::vector<Case> cases = {
        {{"upgrade", "--port", "7", "--packet", "RU_EN", "--language", "DEU"},
         "--language DEU" + outside + "RU_EN (RUS,ENG)",
         false},
        {{"upgrade", "--port", "7", "--packet", "RU_EN", "--language", "2"},
         "--language 2" + outside + "RU_EN",
         false},
        {{"upgrade", "--port", "7", "--packet", "EURO", "--language", "RUS"},
         "--language RUS" + outside + "EURO",
         false},
        {{"check", "--port", "7", "--packet", "EURO", "--language", "RUS"},
         "--language RUS" + outside + "EURO",
         false},
        {{"upgrade", "--port", "7", "--language", "UKR"},
         "--language UKR is in none of the configuration's packets (RU_EN: RUS,ENG; EURO: "
         "ENG,DEU,FRA,ESP)",
         false},
        // RUS is in RU_EN, but this instrument is offered EURO only.
        {{"upgrade", "--port", "8", "--language", "RUS"},
         "--language RUS" + outside + "EURO",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QDir(set.root() + "/log4").removeRecursively();
        const CliResult result = runCli(c.arguments + QStringList{"--yes"});
        EXPECT_EQ(result.exitCode, 2) << result.err;
        EXPECT_TRUE(result.err.contains(c.says)) << result.err;
        EXPECT_EQ(result.out.contains("==>DeviceInformation_Get"), c.readsInstrument) << result.out;
        EXPECT_FALSE(result.out.contains(QString::fromUtf8("Чтение из сервера [verimant_kmt2")))
            << result.out;
        if (c.readsInstrument && c.arguments[0] == "upgrade") {
            EXPECT_TRUE(QFile::exists(set.root() + "/log4/3_23/45xxx/6xx/rep.txt"))
                << reportFiles().join(' ');
            EXPECT_FALSE(QFile::exists(set.root() + "/log4/__no_number/rep.txt"));
        }
    }
    for (sim::PtyInstrument* instrument : plugged) {
        instrument->withInstrument(
            [](sim::Instrument& device) { EXPECT_TRUE(device.flashOperations().empty()); });
    }
}

// A server that refuses the account says so in its own words in every command that reaches it,
// not only in fetch; the password never shows.
TEST_F(UpgradeCliTest, TheServersRefusalIsShownByEveryCommandThatReachesIt) {
    plugIn(7, "12345678");
    QUrl wrong(server.url());
    wrong.setPassword("wrong-one");
    setenv("VERIMANT_UPDATE_SERVER", wrong.toString(QUrl::FullyEncoded).toUtf8().constData(), 1);
    const QTemporaryDir mirror;
    const QList<QStringList> cases = {
        {"config"},
        {"lookup", "1-23-45678"},
        {"info", "--port", "7", "--model"},
        {"check", "--port", "7", "--packet", "RU_EN"},
        {"upgrade", "--port", "7", "--packet", "RU_EN", "--yes"},
        {"mirror", mirror.path()},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CliResult result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_TRUE(result.err.contains(": 530 ")) << result.err;
        EXPECT_FALSE((result.out + result.err).contains("wrong-one"));
    }
    server.exportToEnvironment();
}

// The window sends its report whatever stopped the run; so does the command line.
TEST_F(UpgradeCliTest, PreparationThatStopsStillSendsTheReport) {
    plugIn(7, "12345678");
    using Edits = QList<std::pair<QString, QString>>;
    const QList<Edits> cases = {
        {{"VERSION_APP=1.2.19", "VERSION_APP=99.0.0"},
         {"ACTION_IF_NEED_UPGRADE=0", "ACTION_IF_NEED_UPGRADE=1"}},
        {{"BASE_NAME=verimant_sn_base.bin", "BASE_NAME=missing_base.bin"}},
    };
    for (const Edits& edits : cases) {
        const QString to = edits.back().second;
        ASSERT_TRUE(set.copyDemoSet());
        for (const auto& [from, replacement] : edits) {
            ASSERT_TRUE(set.editConfig(from, replacement));
        }
        QDir(set.root() + "/log4").removeRecursively();
        const CliResult result = runCli({"upgrade", "--port", "7", "--packet", "RU_EN", "--yes"});
        EXPECT_EQ(result.exitCode, 1) << to;
        EXPECT_TRUE(reports().contains("END: ")) << to << "\n" << result.err;
        EXPECT_TRUE(toolFolderEntries().isEmpty()) << toolFolderEntries().join(' ');
    }
}

struct Interruption {
    int port;
    const char* after;  // what the log shows when Ctrl-C is pressed
    int presses;
    bool firmwareWritten;  // the main firmware was begun, so it must be whole and running
};

// Ctrl-C ends the run where the instrument is safe and still reports it: before the writes at
// once, a main-firmware write only at its end, and always with the instrument back in its main
// firmware and no new data version over a partial image. A second press ends the program at once.
// The run's folder goes either way.
TEST_F(UpgradeCliTest, CtrlCStopsTheUpgradeWhereTheInstrumentIsSafeAndLeavesNoFolder) {
    sim::PtyInstrument& instrument = plugIn(7, "12345678", true);
    // Slow answers keep the first stop busy long enough for a second Ctrl-C.
    plugIn(8, "22345678", false, 300);
    const std::vector<Interruption> cases = {
        {7, "==>DeviceInformation_Get", 1, false},
        {7, "==>Device_goto_BOOT mode", 1, false},
        {7, " Загрузка 0%", 1, true},
        {7, "# Обновление EFL", 1, true},
        {8, "==>DeviceInformation_Get", 2, false},
    };
    for (const Interruption& c : cases) {
        SCOPED_TRACE(QString::fromUtf8(c.after) + QString::number(c.presses));
        if (c.port == 7) {
            instrument.withInstrument(
                [](sim::Instrument& device) { device = sim::Instrument(device.config()); });
        }
        QDir(set.root() + "/log4").removeRecursively();
        QProcess cli;
        cli.start(builtProgram("verimant-cli"),
                  {"upgrade", "--port", QString::number(c.port), "--packet", "RU_EN", "--yes"});
        cli.closeWriteChannel();
        QString out;
        while (!out.contains(QString::fromUtf8(c.after)) && cli.waitForReadyRead(30000)) {
            out += QString::fromUtf8(cli.readAllStandardOutput());
        }
        QString err;
        for (int press = 0; press < c.presses; ++press) {
            // A run that already ended has no id: 0 would signal this test's whole group.
            const pid_t pid = pid_t(cli.processId());
            if (pid > 0) {
                ::kill(pid, SIGINT);
            }
            while (press + 1 < c.presses && !err.contains("Ctrl-C: ") &&
                   cli.waitForReadyRead(5000)) {
                err += QString::fromUtf8(cli.readAllStandardError());
            }
        }
        ASSERT_TRUE(cli.waitForFinished(120000));
        err += QString::fromUtf8(cli.readAllStandardError());
        out += QString::fromUtf8(cli.readAllStandardOutput());
        SCOPED_TRACE(out.right(1500) + err);
        EXPECT_TRUE(toolFolderEntries().isEmpty()) << toolFolderEntries().join(' ');
        if (c.presses != 1) {
            EXPECT_EQ(cli.exitStatus(), QProcess::CrashExit) << "ended by the signal";
            continue;
        }
        EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(cli.exitCode(), 1);
        EXPECT_TRUE(err.contains("the upgrade was stopped on Ctrl-C"));
        EXPECT_TRUE(reports().contains("UPGRADE STOPPED BY USER (Ctrl-C)"));
        instrument.withInstrument([&](sim::Instrument& device) {
            EXPECT_EQ(device.mode(), sim::InstrumentMode::MainFirmware);
            EXPECT_EQ(device.reportedMainVersion(), c.firmwareWritten ? 0x0302 : 0x0203);
            if (simEflVersion(device) == 0x0106) {
                EXPECT_TRUE(device.externalFlash().read(0, 65536) ==
                            set.file("verimant_efl_ru_en_1_6.bin"))
                    << "the new data version over a partial image";
            }
        });
    }
}

}  // namespace
}  // namespace verimant::test

namespace verimant::test {
namespace {

QJsonArray historyRuns(const QStringList& filter = {}) {
    const CliResult listed = runCli(QStringList{"history", "--json"} + filter);
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    return QJsonDocument::fromJson(listed.out.toUtf8()).object().value("runs").toArray();
}

QJsonObject runOnPort(const QJsonArray& runs, int port) {
    for (const QJsonValue& run : runs) {
        if (run.toObject().value("port").toInt() == port) {
            return run.toObject();
        }
    }
    return {};
}

// A written, a refused and a killed upgrade each leave one row that tells what happened, and the
// listing filters and exports them.
TEST_F(UpgradeCliTest, EveryUpgradeLeavesAHistoryRowThatTellsHowItEnded) {
    ASSERT_TRUE(set.signConfig(demoSigningKey()));
    plugIn(7, "12345678");
    plugIn(8, "22345678", true);
    plugIn(9, "92345678");  // not in the base
    const QStringList upgrade{"upgrade", "--packet", "RU_EN", "--yes", "--port"};
    EXPECT_EQ(runCli(upgrade + QStringList{"7", "--verify"}).exitCode, 0);
    EXPECT_EQ(runCli(upgrade + QStringList{"9"}).exitCode, 1);
    QProcess killed;
    killed.start(builtProgram("verimant-cli"), upgrade + QStringList{"8"});
    killed.closeWriteChannel();
    QString out;
    while (!out.contains(" Загрузка 0%") && killed.waitForReadyRead(30000)) {
        out += QString::fromUtf8(killed.readAllStandardOutput());
    }
    ASSERT_TRUE(out.contains(" Загрузка 0%")) << out;
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(10000));

    const QJsonArray runs = historyRuns();
    ASSERT_EQ(runs.size(), 3) << QJsonDocument(runs).toJson().toStdString();
    struct Expected {
        int port;
        const char* serial;
        const char* result;
        const char* versionsAfter;
        bool failureNamed;
    };
    for (const Expected& e : std::vector<Expected>{{7, "1-23-45678", "written", "KMT2 3.2", false},
                                                   {8, "2-23-45678", "interrupted", "", false},
                                                   {9, "9-23-45678", "refused", "", true}}) {
        const QJsonObject run = runOnPort(runs, e.port);
        SCOPED_TRACE(QJsonDocument(run).toJson().toStdString());
        EXPECT_EQ(run.value("serial").toString(), e.serial);
        EXPECT_EQ(run.value("result").toString(), e.result);
        EXPECT_EQ(run.value("kind").toString(), "upgrade");
        EXPECT_TRUE(run.value("versions_before").toString().startsWith("KMT2 2.3"));
        EXPECT_TRUE(run.value("versions_after").toString().startsWith(e.versionsAfter));
        EXPECT_EQ(run.value("failure").toString().isEmpty(), !e.failureNamed);
        EXPECT_FALSE(run.value("uid").toString().isEmpty());
        EXPECT_FALSE(run.value("operator").toString().isEmpty());
    }
    EXPECT_EQ(runOnPort(runs, 7).value("packet").toString(), "RU_EN");
    EXPECT_FALSE(runOnPort(runs, 7).value("signing_key").toString().isEmpty())
        << "the set is signed";
    EXPECT_TRUE(runOnPort(runs, 7).value("verified").toBool());

    EXPECT_EQ(historyRuns({"--serial", "1-23-45678"}).size(), 1);
    EXPECT_EQ(historyRuns({"--since", "2999-01-01"}).size(), 0);
    const CliResult csv = runCli({"history", "--csv", "--serial", "9-23-45678"});
    const QStringList lines = csv.out.split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << csv.out;
    EXPECT_TRUE(lines[0].startsWith("started,ended,kind,"));
    EXPECT_TRUE(lines[1].contains(",refused,"));
    EXPECT_EQ(runCli({"history", "--since", "yesterday"}).exitCode, 2);
}

// The row of instruments: one written, one the base does not know (skipped before anything is
// written), one that comes back from a restart as another instrument (stopped). The exit code,
// the closing table, the JSON document and the history all tell the same story.
TEST_F(UpgradeCliTest, UpgradeAllWritesEveryCoveredInstrumentAndSaysWhatBecameOfEachOther) {
    sim::PtyInstrument& written = plugIn(7, "12345678");
    sim::PtyInstrument& unknown = plugIn(8, "92345678");
    plugIn(9, "22345678", false, 0, -1, "32345678");
    // Another program holds COM10: named busy, never counted as an instrument the run started.
    const int holder = ::open(plugIn(10, "12345679").slavePath().toLocal8Bit().constData(),
                              O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
    const QStringList all{"upgrade", "--all", "--packet", "RU_EN", "--yes"};
    const CliResult table = runCli(all, 180000);
    EXPECT_EQ(table.exitCode, 1) << table.err << table.out;
    const auto lineOf = [&](const char* port) {
        for (const QString& line : table.out.split('\n')) {
            if (line.startsWith(port)) {
                return line;
            }
        }
        return QString();
    };
    EXPECT_TRUE(lineOf("COM7 ").contains(" written ")) << table.out;
    EXPECT_TRUE(lineOf("COM7 ").contains("KMT2 3.2")) << table.out;
    EXPECT_TRUE(lineOf("COM8 ").contains(" skipped ")) << table.out;
    EXPECT_TRUE(lineOf("COM9 ").contains(" failed ")) << table.out;
    EXPECT_TRUE(lineOf("COM10 ").contains(" busy ")) << table.out;
    written.withInstrument(
        [](sim::Instrument& device) { EXPECT_EQ(device.reportedMainVersion(), 0x0302); });
    unknown.withInstrument([](sim::Instrument& device) {
        EXPECT_EQ(device.reportedMainVersion(), 0x0203);
        EXPECT_EQ(device.mode(), sim::InstrumentMode::MainFirmware);
    });

    const QJsonArray runs = historyRuns();
    ASSERT_EQ(runs.size(), 3);
    for (const auto& [port, result] :
         std::vector<std::pair<int, const char*>>{{7, "written"}, {8, "refused"}, {9, "failed"}}) {
        EXPECT_EQ(runOnPort(runs, port).value("result").toString(), result) << port;
        EXPECT_EQ(runOnPort(runs, port).value("kind").toString(), "upgrade --all");
    }

    // The document carries one entry per instrument that answered, each the worker's own.
    const CliResult json = runCli(all + QStringList{"--json"}, 180000);
    const QJsonObject document = QJsonDocument::fromJson(json.out.toUtf8()).object();
    const QJsonArray instruments = document.value("instruments").toArray();
    ASSERT_EQ(instruments.size(), 3) << json.out;
    QStringList ports;
    for (const QJsonValue& entry : instruments) {
        ports << QString::number(entry.toObject().value("port").toInt());
        EXPECT_EQ(entry.toObject().value("command").toString(), "upgrade");
    }
    EXPECT_EQ(ports, (QStringList{"7", "8", "9"}));
    EXPECT_EQ(instruments[1].toObject().value("result").toString(), "refused");
    EXPECT_EQ(document.value("busy_ports").toArray(), QJsonArray{10}) << json.out;
    ::close(holder);
    EXPECT_EQ(document.value("exit_code").toInt(), json.exitCode);
}

// One Ctrl-C to the parent stops every worker at its safe point: each is told once, so none
// takes it for the second press that ends a run at once.
TEST_F(UpgradeCliTest, CtrlCToUpgradeAllStopsEveryWorkerWhereItsInstrumentIsSafe) {
    std::vector<sim::PtyInstrument*> row{&plugIn(7, "12345678", true),
                                         &plugIn(8, "22345678", true)};
    const QStringList leftBefore = toolFolderEntries();  // a killed run cannot tidy up
    QProcess all;
    all.start(builtProgram("verimant-cli"), {"upgrade", "--all", "--packet", "RU_EN", "--yes"});
    all.closeWriteChannel();
    // Both workers have read their instrument once their rows carry what they found.
    QJsonArray runs;
    for (int wait = 0; wait < 300; ++wait) {
        runs = historyRuns();
        if (runs.size() == 2 && !runOnPort(runs, 7).value("versions_before").toString().isEmpty() &&
            !runOnPort(runs, 8).value("versions_before").toString().isEmpty()) {
            break;
        }
        QThread::msleep(100);
    }
    ASSERT_EQ(runs.size(), 2);
    ::kill(pid_t(all.processId()), SIGINT);
    ASSERT_TRUE(all.waitForFinished(120000));
    const QString out = QString::fromUtf8(all.readAllStandardOutput());
    EXPECT_EQ(all.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(all.exitCode(), 1) << out;
    runs = historyRuns();
    for (const int port : {7, 8}) {
        EXPECT_EQ(runOnPort(runs, port).value("result").toString(), "cancelled") << out;
    }
    for (sim::PtyInstrument* instrument : row) {
        instrument->withInstrument([](sim::Instrument& device) {
            EXPECT_EQ(device.mode(), sim::InstrumentMode::MainFirmware);
        });
    }
    EXPECT_EQ(toolFolderEntries(), leftBefore);
}

}  // namespace
}  // namespace verimant::test

namespace verimant::test {
namespace {

QJsonObject documentOf(const CliResult& result) {
    return QJsonDocument::fromJson(result.out.toUtf8()).object();
}

// The error and every box of a --json run, joined: what the operator was told.
QString toldInDocument(const QJsonObject& document) {
    QStringList texts{document.value("error").toString()};
    for (const QJsonValue& message : document.value("messages").toArray()) {
        texts << message.toObject().value("text").toString();
    }
    return texts.join(" | ");
}

bool wasWritten(sim::PtyInstrument& instrument) {
    bool written = false;
    instrument.withInstrument(
        [&](sim::Instrument& device) { written = !device.flashOperations().empty(); });
    return written;
}

struct ConsentCase {
    bool upToDate;
    QStringList options;
    int exitCode;
    const char* result;
    bool written;
    const char* told;  // in the document's error or messages; empty: anything
};

// --yes consents to an update only: an instrument that already has the set's versions is written
// again with --reinstall alone, and a question nobody can answer names the option that does.
TEST_F(UpgradeCliTest, YesConsentsToAnUpdateAndOnlyReinstallWritesTheSameVersionsAgain) {
    sim::PtyInstrument& outdated = plugIn(7, "12345678");
    sim::PtyInstrument& current = plugInAt(8, "22345678", 0x0302, "V1.06");
    const std::vector<ConsentCase> cases = {
        {true, {"--yes"}, 0, "up_to_date", false, "nothing was written"},
        {true, {"--reinstall"}, 0, "written", true, ""},
        {true, {"--yes", "--reinstall"}, 0, "written", true, ""},
        {true, {}, 1, "cancelled", false, "no terminal to ask on: pass --reinstall"},
        {false, {"--yes"}, 0, "written", true, ""},
        {false, {"--yes", "--reinstall"}, 0, "written", true, ""},
        {false, {"--reinstall"}, 1, "cancelled", false, "no terminal to ask on: pass --yes"},
        {false, {}, 1, "cancelled", false, "no terminal to ask on: pass --yes"},
    };
    for (const ConsentCase& c : cases) {
        sim::PtyInstrument& instrument = c.upToDate ? current : outdated;
        // A written instrument is up to date afterwards: every case starts from its own state.
        instrument.withInstrument(
            [](sim::Instrument& device) { device = sim::Instrument(device.config()); });
        const QStringList arguments = QStringList{"upgrade",  "--port", c.upToDate ? "8" : "7",
                                                  "--packet", "RU_EN",  "--json"} +
                                      c.options;
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CliResult result = runCli(arguments);
        const QJsonObject document = documentOf(result);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_EQ(document.value("result").toString(), c.result) << result.out;
        EXPECT_EQ(document.value("up_to_date").toBool(), c.upToDate) << result.out;
        EXPECT_EQ(wasWritten(instrument), c.written);
        EXPECT_TRUE(toldInDocument(document).contains(c.told)) << result.out;
    }
    QStringList results;
    for (const QJsonValue& row : historyRuns({"--serial", "2-23-45678"})) {
        results << row.toObject().value("result").toString();
    }
    EXPECT_EQ(results, (QStringList{"cancelled", "written", "written", "up_to_date"}));

    // The instrument does not say which packet it holds: the same versions under another packet
    // read as up to date, and check says what that covers.
    const CliResult check = runCli({"check", "--port", "8", "--packet", "EURO"});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_TRUE(
        check.out.contains("up to date: the instrument has the set's versions\n"
                           "the instrument does not report which packet it holds, so "
                           "\"up to date\" covers the versions only\n"))
        << check.out;
}

// upgrade --all passes --reinstall (and --no-verify) on to its workers; an up-to-date instrument
// left as it was is no failure of the row.
TEST_F(UpgradeCliTest, UpgradeAllLeavesUpToDateInstrumentsUnlessToldToReinstall) {
    sim::PtyInstrument& current = plugInAt(8, "22345678", 0x0302, "V1.06");
    const QStringList all{"upgrade", "--all", "--packet", "RU_EN", "--yes", "--json"};
    CliResult result = runCli(all, 180000);
    EXPECT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_EQ(documentOf(result).value("started").toInt(-1), 0) << result.out;
    EXPECT_FALSE(wasWritten(current));

    result = runCli(all + QStringList{"--reinstall", "--no-verify"}, 180000);
    EXPECT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_TRUE(wasWritten(current));
    const QJsonObject row = historyRuns().first().toObject();
    EXPECT_EQ(row.value("result").toString(), "written");
    EXPECT_FALSE(row.value("verified").toBool()) << "--no-verify reached the worker";
}

struct RefusalCase {
    const char* what;
    int port;
    QStringList options;
    const char* packet;  // the document's "packet"; nullptr: none
    const char* result;
    const char* told;
};

// A refusal names the packet it was given and says what refused it; "cancelled by the user" is
// for a user's cancel only.
TEST_F(UpgradeCliTest, ARefusalNamesItsPacketAndNeverSaysTheUserCancelled) {
    plugIn(7, "12345678");
    plugInAt(8, "22345678", 0x0400, "V1.05");  // newer than the set
    plugIn(9, "92345678");                     // not in the base
    const std::vector<RefusalCase> cases = {
        {"unregistered", 9, {"--packet", "RU_EN"}, "RU_EN", "refused", "SN=[92345678]"},
        {"not offered", 7, {"--packet", "ASIA"}, "ASIA", "refused", "'ASIA' is not offered"},
        {"language outside the packet",
         7,
         {"--packet", "EURO", "--language", "RUS"},
         "EURO",
         "refused",
         "is none of the languages of the packet EURO"},
        {"downgrade", 8, {"--packet", "RU_EN"}, "RU_EN", "refused", "needs --allow-downgrade"},
        {"unsigned set", 7, {"--packet", "EURO", "--require-signature"}, "EURO", "failed", "sign"},
        {"nobody to choose", 7, {}, nullptr, "cancelled", "choose one with --packet NAME"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.what);
        const CliResult result =
            runCli(QStringList{"upgrade", "--port", QString::number(c.port), "--yes", "--json"} +
                   c.options);
        const QJsonObject document = documentOf(result);
        EXPECT_NE(result.exitCode, 0);
        EXPECT_EQ(document.value("result").toString(), c.result) << result.out;
        EXPECT_EQ(document.value("packet").toString(), c.packet ? c.packet : "") << result.out;
        EXPECT_EQ(document.value("port").toInt(), c.port) << result.out;
        EXPECT_TRUE(toldInDocument(document).contains(c.told)) << result.out;
        for (const char* cancel :
             {"Обновление отменено пользователем", "Upgrade aborted by User"}) {
            EXPECT_FALSE(result.err.contains(cancel)) << result.err;
            EXPECT_FALSE(result.out.contains(cancel)) << result.out;
        }
    }
    for (const auto& instrument : instruments) {
        EXPECT_FALSE(wasWritten(*instrument));
    }
}

}  // namespace
}  // namespace verimant::test
