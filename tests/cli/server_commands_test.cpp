#include "platform/cp1251.h"
#include "platform/temp_folder.h"
#include "sim/pty_instrument.h"
#include "tests/cli/cli_process.h"
#include "tests/support/ftp_test_server.h"
#include "update/config_limits.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace verimant {
namespace {

// verimant-cli config and lookup against a real FTP server holding a small update set.
class ServerCommands : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = test::testRootDir() + "/server";
        QDir(root_).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(root_ + "/sn"));
        put("verimant_version_3.ini",
            encodeCp1251(
                "[PROJECT_MANAGER]\nVERSION_APP=1.2.20\nUPGRADE_URL_2=https://example.org/get\n"
                "[SERIAL_NUMBER]\nBASE_NAME=sn\\base.bin\nY23=Компакт\n"
                "[LANGUAGES]\nLANG_LIST_1=1:RU:Русский:Russian,2:EN:Английский:English\n"
                "LANG_SET_NUM=1\nLANG_SET_1=RU:Base,East\n"
                "[LANGUAGE:Base]\nNAME_L1=Базовый\nNAME_L2=Basic\nLANG_LIST=RU,EN\n"
                "[SOFT_SET:TRV-245.V3.Компакт.Base]\nKMT2=K15\nEFL=E21\n"
                "[FILE:K15]\nVERSION=1.5\nNAME=kmt2.hex\nLENGTH=5000\n"
                "[FILE:E21]\nVERSION=2.x\nNAME=efl.bin\n"));
        QByteArray base(6 * 256, '\n');
        base.replace(3 * 256, 60, "12345678;x;245;3;1;2;77;RU;1;2;3;4;5;6;7;8\n");
        base.replace(4 * 256, 60, "00ABCDEF;x;245;;1;2;77;RU;1;2;3;4;5;6;7;8\n");
        put("sn/base.bin", base);
        server_ = std::make_unique<test::FtpTestServer>(root_);
        QString error;
        ASSERT_TRUE(server_->start(&error)) << error;
        server_->exportToEnvironment();
    }

    void put(const QString& name, const QByteArray& bytes) {
        QFile file(root_ + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    // The folder of `cli`'s run once the configuration lies whole in it; empty when none came.
    static QString waitForRunFolder(QProcess& cli) {
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && cli.state() != QProcess::NotRunning) {
            const QDir temp(systemTempPath());
            for (const QString& name : temp.entryList({"verimant-cli-*"}, QDir::Dirs)) {
                if (QFileInfo::exists(temp.filePath(name) + "/verimant_version_3.ini")) {
                    return temp.filePath(name);
                }
            }
            cli.waitForFinished(20);
        }
        return {};
    }

    QString root_;
    std::unique_ptr<test::FtpTestServer> server_;
};

TEST_F(ServerCommands, ConfigListsWhatTheServerOffers) {
    const test::CliResult result = test::runCli({"config"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    for (const char* expected :
         {"Newest tool version : 1.2.20", "Download address    : https://example.org/get",
          "Y23    Компакт", "   1 RU     Русский / Russian",
          "    Base: Базовый / Basic; languages RU,EN", "    East: ??? / ???; languages (none)",
          "    KMT2 1.5      kmt2.hex (5000 bytes)", "    EFL  2.x      efl.bin [bad version]"}) {
        EXPECT_TRUE(result.out.contains(QString::fromUtf8(expected))) << expected << "\n"
                                                                      << result.out;
    }
    EXPECT_FALSE(result.out.contains(server_->password()));
}

// Whether a file is checked after its download shows beside it: its hash, or why there is none
// to check against.
TEST_F(ServerCommands, ConfigShowsWhichFilesCarryAHash) {
    const QString hash = QString(64, u'C').replace(0, 2, "9A");
    const std::vector<std::pair<QString, QString>> cases = {
        {"", "kmt2.hex (5000 bytes) [no SHA256]"},
        {"SHA256=" + hash, "kmt2.hex (5000 bytes) SHA256 " + hash.toLower()},
        {"SHA256=" + hash.left(63), "kmt2.hex (5000 bytes) [bad SHA256]"},
    };
    for (const auto& [key, shown] : cases) {
        put("verimant_version_3.ini",
            encodeCp1251("[SOFT_SET:S]\nKMT2=K15\nEFL=E21\n[FILE:K15]\nVERSION=1.5\nNAME=kmt2.hex\n"
                         "LENGTH=5000\n" +
                         key + "\n[FILE:E21]\nVERSION=2.1\nNAME=efl.bin\n"));
        const test::CliResult result = test::runCli({"config"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(result.out.contains(shown + "\n")) << shown << "\n" << result.out;
        EXPECT_TRUE(result.out.contains("efl.bin [no SHA256]\n")) << result.out;
    }
}

struct LookupCase {
    const char* serial;
    int exitCode;
    const char* expected;  // in standard output on success, standard error otherwise
};

TEST_F(ServerCommands, LookupShowsTheRecordOrSaysWhyNot) {
    const std::vector<LookupCase> cases = {
        {"1-23-45678", 0, "Board          : TRV-245.3"},
        {"12345678", 0, "Packets        : Base, East"},
        {"1-23-45679", 1, "no record for 1-23-45679"},
        {"00abcdef", 1, "fewer than 16 fields"},
        {"1-2345678", 2, "is no serial number"},
        {"123456789", 2, "is no serial number"},
    };
    for (const LookupCase& c : cases) {
        const test::CliResult result = test::runCli({"lookup", c.serial});
        EXPECT_EQ(result.exitCode, c.exitCode) << c.serial << result.err;
        EXPECT_TRUE((c.exitCode == 0 ? result.out : result.err).contains(c.expected))
            << c.serial << "\n"
            << result.out << result.err;
    }
}

TEST_F(ServerCommands, MissingFilesAndAStoppedServerAreSaidPlainly) {
    ASSERT_TRUE(QFile::remove(root_ + "/sn/base.bin"));
    test::CliResult result = test::runCli({"lookup", "12345678"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("could not fetch the serial-number base 'sn\\base.bin'"))
        << result.err;

    server_->stop();
    for (const QStringList& arguments :
         {QStringList{"config"}, QStringList{"lookup", "12345678"}}) {
        result = test::runCli(arguments);
        EXPECT_EQ(result.exitCode, 1) << arguments.join(' ');
        EXPECT_TRUE(result.err.contains("could not fetch the configuration")) << result.err;
        EXPECT_FALSE(result.err.contains(server_->password()));
    }
}

// The configuration is bounded before anything reads it whole, from the server and from a folder.
TEST_F(ServerCommands, AConfigurationBeyondItsCapIsRefused) {
    struct Case {
        const char* name;
        qint64 bytes;
        QStringList command;
        bool refused;
    };
    const QByteArray head = "[SOFT_SET:S]\nKMT2=K15\nEFL=E21\n;";
    const Case cases[] = {
        {"exactly the cap, from the server", kMaxConfigBytes, {"config"}, false},
        {"one byte more, from the server", kMaxConfigBytes + 1, {"config"}, true},
        {"one byte more, from a folder", kMaxConfigBytes + 1, {"config", "--source", root_}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        put("verimant_version_3.ini", head + QByteArray(c.bytes - head.size(), 'x'));
        const test::CliResult result = test::runCli(c.command);
        EXPECT_EQ(result.exitCode, c.refused ? 1 : 0) << result.err;
        EXPECT_EQ(result.err.contains("is larger than 4194304 bytes and is refused"), c.refused)
            << result.err;
        EXPECT_EQ(result.out.contains(QString::fromUtf8("больше 4 МиБ и не принята")), c.refused)
            << result.out;
    }
}

// A run ended by a signal, here while the server stalls on the configuration's signature, takes
// its temporary folder, and the configuration in it, with it.
TEST_F(ServerCommands, ASignalRemovesTheRunsTemporaryFolder) {
    const QByteArray stall = QFile::encodeName(root_ + "/verimant_version_3.ini.sig");
    ASSERT_EQ(::mkfifo(stall.constData(), 0600), 0);
    const std::pair<QStringList, int> cases[] = {
        {{"config"}, SIGINT}, {{"lookup", "12345678"}, SIGTERM}, {{"config"}, SIGHUP}};
    for (const auto& [command, signal] : cases) {
        SCOPED_TRACE(signal);
        QProcess cli;
        cli.start(test::builtProgram("verimant-cli"), command);
        const QString folder = waitForRunFolder(cli);
        ASSERT_FALSE(folder.isEmpty()) << QString::fromUtf8(cli.readAllStandardError());
        ::kill(pid_t(cli.processId()), signal);
        ASSERT_TRUE(cli.waitForFinished(10000));
        EXPECT_EQ(cli.exitStatus(), QProcess::CrashExit) << "ended by the signal";
        EXPECT_FALSE(QFileInfo::exists(folder)) << folder;
        // The server, stuck opening the pipe once the signature was asked for, gets its end of
        // file and serves the next case.
        for (QDeadlineTimer unstuck(1000); !unstuck.hasExpired(); QThread::msleep(10)) {
            const int writer = ::open(stall.constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) {
                ::close(writer);
                break;
            }
        }
    }
}

struct HostileText {
    QString from;  // configuration text replaced
    QString to;    // by text with control characters
    QStringList command;
    QString shown;  // what the terminal shows in their place
};

// Names and replies from the server reach the terminal with their control characters escaped:
// an escape sequence must not clear the screen, a backspace must not hide what was shown.
TEST_F(ServerCommands, ControlCharactersFromTheServerAreShownEscaped) {
    const std::vector<HostileText> cases = {
        {"Y23=Компакт", "Y23=Ком\x1b[2Jпакт", {"config"}, "Ком\\x1b[2Jпакт"},
        {"LANG_SET_1=RU:Base,East",
         "LANG_SET_1=RU:Base,Ea\bst",
         {"lookup", "12345678"},
         "Ea\\x08st"},
        {"BASE_NAME=sn\\base.bin",
         "BASE_NAME=sn\\b\x07"
         "ase.bin",
         {"lookup", "12345678"},
         "sn\\b\\x07ase.bin"},
    };
    for (const HostileText& c : cases) {
        QFile file(root_ + "/verimant_version_3.ini");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray kept = file.readAll();
        file.close();
        QString text = decodeCp1251(kept);
        ASSERT_TRUE(text.contains(c.from)) << c.from;
        put("verimant_version_3.ini", encodeCp1251(text.replace(c.from, c.to)));

        const test::CliResult result = test::runCli(c.command);
        put("verimant_version_3.ini", kept);
        const QString shown = result.out + result.err;
        EXPECT_TRUE(shown.contains(c.shown)) << c.shown << "\n" << shown;
        for (const char control : {'\x1b', '\b', '\x07'}) {
            EXPECT_FALSE(shown.contains(QLatin1Char(control))) << int(control) << " in " << c.to;
        }
    }
}

// The simulated instrument's serial 1-23-45678 has the model key Y23.
TEST_F(ServerCommands, InfoNamesTheModelFromTheConfiguration) {
    sim::PtyInstrumentOptions options;
    options.portNumber = 5;
    sim::PtyInstrument instrument(sim::InstrumentConfig{}, options);
    QString error;
    ASSERT_TRUE(instrument.start(&error)) << error;

    test::CliResult result = test::runCli({"info", "--port", "5", "--model"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.out.contains("S/N   : 1-23-45678\n")) << result.out;
    EXPECT_TRUE(result.out.contains(QString::fromUtf8("Model : Verimant - Компакт\n")))
        << result.out;

    put("verimant_version_3.ini", "[SERIAL_NUMBER]\nY5=Other\n");
    result = test::runCli({"info", "--port", "5", "--model"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.out.contains("Model : (none in the configuration)")) << result.out;
}

}  // namespace
}  // namespace verimant
