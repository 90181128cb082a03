#include "update/firmware_set.h"

#include "base/activity_log.h"
#include "platform/cp1251.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_environment.h"
#include "update/update_config.h"
#include "update/update_server.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace verimant {
namespace {

const QString kSection = QStringLiteral("SOFT_SET:TRV-245.V3.Компакт.Base");

// A configuration and its two firmware files on a real FTP server, fetched into a local folder.
class FirmwareSetFetch : public ::testing::Test {
protected:
    void SetUp() override {
        serverRoot_ = test::testRootDir() + "/server";
        localFolder_ = test::testRootDir() + "/local";
        QDir(serverRoot_).removeRecursively();
        QDir(localFolder_).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(serverRoot_ + "/fw"));
        ASSERT_TRUE(QDir().mkpath(localFolder_));
        kmt2Bytes_ = QByteArray(5000, 'k');
        eflBytes_ = QByteArray(70000, 'e');
        put(serverRoot_ + "/fw/kmt2_1_5.hex", kmt2Bytes_);
        put(serverRoot_ + "/efl_2_1.bin", eflBytes_);
        server_ = std::make_unique<test::FtpTestServer>(serverRoot_);
        QString error;
        ASSERT_TRUE(server_->start(&error)) << error.toStdString();
        std::optional<ServerSettings> settings = parseServerAddress(server_->url());
        ASSERT_TRUE(settings);
        updateServer_ = std::make_unique<UpdateServer>(log_, *settings, TransferLimits{3000, 3000});
    }

    static void put(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // The configuration with `kmt2File` and `eflFile` as the two FILE sections' bodies.
    void openConfig(const QString& kmt2File, const QString& eflFile,
                    const QString& setBody = "KMT2=K15\nEFL=E21\n") {
        const QString path = test::testRootDir() + "/verimant_version_3.ini";
        put(path, encodeCp1251("[" + kSection + "]\n" + setBody + "[FILE:K15]\n" + kmt2File +
                               "[FILE:E21]\n" + eflFile));
        config_.openConfig(path);
    }

    bool load() { return loadFirmwareSet(config_, kSection, *updateServer_, localFolder_, log_); }

    const QString kGoodKmt2 = QStringLiteral("VERSION=1.05\nNAME=fw\\kmt2_1_5.hex\nLENGTH=5000\n");
    const QString kGoodEfl = QStringLiteral("VERSION= 2.1 \nNAME=efl_2_1.bin\n");

    QString serverRoot_;
    QString localFolder_;
    QByteArray kmt2Bytes_;
    QByteArray eflBytes_;
    test::ScriptedDialogs dialogs_;
    ActivityLog log_;
    std::unique_ptr<test::FtpTestServer> server_;
    std::unique_ptr<UpdateServer> updateServer_;
    UpdateConfig config_;
};

TEST_F(FirmwareSetFetch, FetchesBothFilesWithTheirProgressTotals) {
    openConfig(kGoodKmt2, kGoodEfl);
    ASSERT_TRUE(load()) << log_.lines().join('\n').toStdString();

    const FirmwareSet& set = config_.firmwareSet();
    EXPECT_EQ(set.kmt2.expectedLength, 5000);
    EXPECT_EQ(set.efl.versionCode, 0x0201);
    EXPECT_EQ(set.efl.expectedLength, FirmwareSet::kDefaultEflLength);
    EXPECT_EQ(contents(localFolder_ + "/kmt2_1_5.hex"), kmt2Bytes_);
    EXPECT_EQ(contents(localFolder_ + "/efl_2_1.bin"), eflBytes_);

    // The first file fills the bar, the second moves it less than 1 % of 8000000 bytes, and the
    // bar is back at 0 after each.
    ASSERT_FALSE(dialogs_.progress.isEmpty());
    EXPECT_EQ(dialogs_.progress.back(), 0);
    EXPECT_TRUE(dialogs_.progress.contains(100));
    const qsizetype firstReset = dialogs_.progress.indexOf(0, dialogs_.progress.indexOf(100));
    ASSERT_GE(firstReset, 0);
    for (qsizetype i = firstReset; i < dialogs_.progress.size(); ++i) {
        EXPECT_LE(dialogs_.progress[i], 1);
    }
    EXPECT_EQ(updateServer_->progressTotal(), 0);
}

struct BadDataCase {
    const char* name;
    QString kmt2File;
    QString eflFile;
    QString logLine;
};

TEST_F(FirmwareSetFetch, BadFileDataIsLoggedAndResetsTheSet) {
    const std::vector<BadDataCase> cases = {
        {"no KMT2 version", "NAME=fw\\kmt2_1_5.hex\n", kGoodEfl,
         "Ошибка : Не корректные данные в конфигурации обновления: ERC[0]"},
        {"an empty EFL name", kGoodKmt2, "VERSION=2.1\nNAME=\n",
         "Ошибка : Не корректные данные в конфигурации обновления: ERC[0]"},
        {"an EFL version without a dot", kGoodKmt2, "VERSION=21\nNAME=e.bin\n",
         "Ошибка : Формат данных версий: [1.05:21]: ERC[0]"},
        {"a SHA256 one digit short", kGoodKmt2, kGoodEfl + "SHA256=" + QString(63, u'a') + "\n",
         "Ошибка : SHA256 файла [efl_2_1.bin] задан неверно: [" + QString(63, u'a') + "]: ERC[0]"},
        {"a SHA256 with a letter beyond f", kGoodKmt2,
         kGoodEfl + "SHA256=" + QString(63, u'0') + "g\n",
         "Ошибка : SHA256 файла [efl_2_1.bin] задан неверно: [" + QString(63, u'0') + "g]: ERC[0]"},
    };
    for (const BadDataCase& c : cases) {
        ActivityLog log;
        openConfig(c.kmt2File, c.eflFile);
        config_.firmwareSet().kmt2.fileName = "previous";
        EXPECT_FALSE(loadFirmwareSet(config_, kSection, *updateServer_, localFolder_, log))
            << c.name;
        EXPECT_EQ(log.lines(), QStringList{c.logLine}) << c.name;
        EXPECT_TRUE(config_.firmwareSet().kmt2.fileName.isEmpty()) << c.name;
        EXPECT_EQ(config_.firmwareSet().efl.versionCode, 0) << c.name;
    }
    EXPECT_TRUE(QDir(localFolder_).isEmpty());
}

// A file whose section gives a SHA256 is taken only when its bytes hash to it; the value follows
// the profile rules (blanks, quotes) and either case.
TEST_F(FirmwareSetFetch, AGivenSha256MustMatchTheFetchedFile) {
    const QString eflHash = QString::fromLatin1(
        QCryptographicHash::hash(eflBytes_, QCryptographicHash::Sha256).toHex());
    const QString wrongHash = QString(64, u'0');
    // A comparison cut short anywhere would take this one.
    const QString lastDigitWrong = eflHash.left(63) + (eflHash.endsWith(u'0') ? u'1' : u'0');
    struct Case {
        const char* name;
        QString line;
        bool loads;
    };
    const Case cases[] = {
        {"matching, upper case, quoted", " \"" + eflHash.toUpper() + "\" ", true},
        {"another file's hash", wrongHash, false},
        {"agrees in all but the last digit", lastDigitWrong, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ActivityLog log;
        QDir(localFolder_).removeRecursively();
        QDir().mkpath(localFolder_);
        openConfig(kGoodKmt2, kGoodEfl + "SHA256=" + c.line + "\n");
        EXPECT_EQ(loadFirmwareSet(config_, kSection, *updateServer_, localFolder_, log), c.loads);
        EXPECT_EQ(QFile::exists(localFolder_ + "/efl_2_1.bin"), c.loads);
        if (!c.loads) {
            EXPECT_EQ(log.lines().value(0),
                      "Ошибка : SHA256 файла [efl_2_1.bin] не совпадает: "
                      "ожидался " +
                          c.line + ", получен " + eflHash + ": ERC[0]");
        }
    }
}

TEST_F(FirmwareSetFetch, ASetThatNamesNoFilesFailsSilentlyAndKeepsThePreviousSet) {
    for (const QString& body : {QString("KMT2=K15\n"), QString("EFL=E21\n"), QString()}) {
        openConfig(kGoodKmt2, kGoodEfl, body);
        config_.firmwareSet().kmt2.fileName = "previous";
        EXPECT_FALSE(load());
        EXPECT_EQ(config_.firmwareSet().kmt2.fileName, "previous");
    }
    UpdateConfig closed;
    EXPECT_FALSE(loadFirmwareSet(closed, kSection, *updateServer_, localFolder_, log_));
    EXPECT_TRUE(log_.lines().isEmpty());
}

TEST_F(FirmwareSetFetch, AFailedSecondFetchKeepsTheParsedSet) {
    ASSERT_TRUE(QFile::remove(serverRoot_ + "/efl_2_1.bin"));
    openConfig(kGoodKmt2, kGoodEfl);
    EXPECT_FALSE(load());
    EXPECT_EQ(config_.firmwareSet().kmt2.versionCode, 0x0105);
    EXPECT_FALSE(QFile::exists(localFolder_ + "/efl_2_1.bin"));
    EXPECT_TRUE(log_.lines().contains(
        "Ошибка получения файла с сервера обновлений [efl_2_1.bin]: ERC[-1]"));
    EXPECT_EQ(dialogs_.progress.back(), 0);
}

TEST_F(FirmwareSetFetch, AFailedFirstFetchNeverAsksForTheSecond) {
    server_->stop();
    openConfig(kGoodKmt2, kGoodEfl);
    EXPECT_FALSE(load());
    EXPECT_TRUE(QDir(localFolder_).isEmpty());
    EXPECT_FALSE(log_.lines().join('\n').contains("efl_2_1.bin"));
}

TEST_F(FirmwareSetFetch, AFileNameLeavingTheLocalFolderIsRefused) {
    put(serverRoot_ + "/outside.bin", "x");
    openConfig("VERSION=1.5\nNAME=..\\outside.bin\n", kGoodEfl);
    EXPECT_FALSE(load());
    EXPECT_FALSE(QFile::exists(test::testRootDir() + "/outside.bin"));
    EXPECT_TRUE(QDir(localFolder_).isEmpty());
}

}  // namespace
}  // namespace verimant
