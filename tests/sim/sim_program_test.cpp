#include "sim/instrument_files.h"
#include "sim/sim_command_line.h"

#include "tests/sim/raw_line.h"
#include "tests/sim/request_bytes.h"
#include "tests/support/test_environment.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

namespace verimant::sim {
namespace {

using namespace verimant::sim::test;

std::optional<SimCommandLine> parse(const QStringList& arguments, QString* error) {
    QCommandLineParser parser;
    addSimOptions(parser);
    if (!parser.parse(QStringList{"verimant-sim"} + arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    return readSimOptions(parser, error);
}

TEST(SimCommandLine, IdentityFaultsAndHostOptionsReachTheirFields) {
    QString error;
    const auto line = parse(
        QString(
            "--port 12 --serial 9-87-65432 --boot-version 1.6 --main-version "
            "0x0305 "
            "--processor-type 257 --uid 00112233445566778899AABB "
            "--assembling 2:3 "
            "--mode boot --paced --drop-share 0.25 --unplug-after-bytes 4096 --cut-after-request 9 "
            "--parameter 9=-3 --settings copy0-bad --save-dir /tmp/x "
            "--stats-file /x/stats.txt")
                .split(' ') +
            QStringList{"--efl-version", ""},
        &error);
    ASSERT_TRUE(line) << error.toStdString();
    EXPECT_EQ(line->options.portNumber, 12);
    EXPECT_EQ(line->config.serial, "9-87-65432");
    EXPECT_EQ(line->config.bootVersion, 0x0106);
    EXPECT_EQ(line->config.mainVersion, 0x0305);
    EXPECT_EQ(line->config.processorType, 257);
    EXPECT_EQ(line->config.uid.toHex(), "00112233445566778899aabb");
    EXPECT_EQ(line->config.assembling1, 2);
    EXPECT_EQ(line->config.assembling2, 3);
    EXPECT_EQ(line->config.startMode, InstrumentMode::BootLoader);
    EXPECT_TRUE(line->options.paced);
    EXPECT_DOUBLE_EQ(line->options.faults.dropShare, 0.25);
    EXPECT_EQ(line->options.faults.unplugAfterBytes, 4096);
    EXPECT_EQ(line->options.faults.cutAfterRequest, 9);
    EXPECT_EQ(line->config.parameters.at(9), -3);
    EXPECT_EQ(line->config.settingsStart, SettingsStart::Copy0Bad);
    EXPECT_TRUE(line->config.eflVersionText.isEmpty());
    EXPECT_EQ(line->saveDir, "/tmp/x");
    EXPECT_EQ(line->statsFile, "/x/stats.txt");
}

TEST(SimCommandLine, MalformedValuesAreRefusedWithTheOptionNamed) {
    for (const QStringList& arguments :
         {QStringList{"--serial", "1234567"}, QStringList{"--boot-version", "1.256"},
          QStringList{"--drop-share", "1.5"}, QStringList{"--mode", "sleep"},
          QStringList{"--uid", "0011"}, QStringList{"--port", "0"},
          QStringList{"--parameter", "6"}}) {
        QString error;
        EXPECT_FALSE(parse(arguments, &error)) << arguments.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(parseVersionCode("4.16"), 0x0410);
    EXPECT_EQ(parseVersionCode("0x0510"), 0x0510);
    EXPECT_EQ(parseVersionCode("262"), 0x0106);
    EXPECT_FALSE(parseVersionCode("0x10000"));
}

TEST(SimProgram, ServesUntilTerminatedThenSavesWritesItsCountsAndRemovesItsLink) {
    const QString program = verimant::test::builtProgram("verimant-sim");
    if (!QFileInfo(program).isExecutable()) {
        GTEST_SKIP() << "verimant-sim is not built";
    }
    const QString saveDir = verimant::test::testRootDir() + "/sim-save";
    const QString statsFile = verimant::test::testRootDir() + "/stats.txt";
    QProcess process;
    process.start(program, {"--port", "6", "--mode", "boot", "--save-dir", saveDir, "--stats-file",
                            statsFile});
    ASSERT_TRUE(process.waitForStarted(5000));
    ASSERT_TRUE(process.waitForReadyRead(5000));
    const QString ready = QString::fromLocal8Bit(process.readLine()).trimmed();
    EXPECT_TRUE(QRegularExpression(R"(^verimant-sim: COM6 -> /dev/pts/\d+ \(boot loader\)$)")
                    .match(ready)
                    .hasMatch())
        << ready.toStdString();

    const QString link = qEnvironmentVariable("VERIMANT_PORTS_DIR") + "/COM6";
    const QByteArray request = requestBody(command(1, 7) + QByteArray("boot text") + '\0');
    qint64 answerBytes = 0;
    {
        RawLine line(link);
        ASSERT_TRUE(line.send(request));
        const auto answer = line.receive(2000);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->mid(4), QByteArray("\x41\x07", 2));
        answerBytes = encodedSize(*answer);
    }

    process.terminate();
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(fileBytes(saveDir + "/" + kScreenTextsFile), QByteArray("boot text\n"));
    EXPECT_EQ(QFileInfo(saveDir + "/" + kExternalFlashFile).size(), 8 * 1024 * 1024);
    EXPECT_EQ(QString::fromLatin1(fileBytes(statsFile)),
              QStringLiteral("bytes_received: %1\nbytes_sent: %2\nframes_received: 1\n")
                  .arg(encodedSize(request))
                  .arg(answerBytes));
}

// `sim=$(verimant-sim --background ...)` must return only once the port answers, for a script's
// next line uses it at once; a simulator that cannot start must say so through the exit code.
TEST(SimProgram, BackgroundStartReturnsOnceThePortAnswersOrWithTheReasonItCannot) {
    const QString program = verimant::test::builtProgram("verimant-sim");
    if (!QFileInfo(program).isExecutable()) {
        GTEST_SKIP() << "verimant-sim is not built";
    }
    const QString portsDir = qEnvironmentVariable("VERIMANT_PORTS_DIR");
    struct Case {
        const char* what;
        QString arguments;
        int exitCode;
        const char* said;  // on standard error
    };
    const Case cases[] = {
        {"ready", "--port 5 --mode boot", 0, ""},
        {"no ports folder", "--port 5 --ports-dir " + portsDir + "/missing", 1, "no ports folder"},
        {"a malformed option", "--port 0", 2, "port number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // As the examples run it: the shell waits for the end of the captured output.
        QProcess shell;
        shell.start("bash",
                    {"-c", "pid=$(\"$0\" --background " + c.arguments + ") || exit; echo \"$pid\"",
                     program});
        ASSERT_TRUE(shell.waitForFinished(20000)) << "the command did not return";
        EXPECT_EQ(shell.exitCode(), c.exitCode);
        const QString err = QString::fromLocal8Bit(shell.readAllStandardError());
        EXPECT_TRUE(err.contains(c.said)) << err.toStdString();
        const QString out = QString::fromLocal8Bit(shell.readAllStandardOutput()).trimmed();
        if (c.exitCode != 0) {
            EXPECT_TRUE(out.isEmpty()) << out.toStdString();
            continue;
        }
        bool isNumber = false;
        const pid_t pid = pid_t(out.toInt(&isNumber));
        ASSERT_TRUE(isNumber && pid > 0) << out.toStdString();
        const QString link = portsDir + "/COM5";
        {
            RawLine line(link);
            ASSERT_TRUE(line.isOpen());
            ASSERT_TRUE(line.send(requestBody(command(1, 7) + QByteArray("up") + '\0')));
            const auto answer = line.receive(2000);
            ASSERT_TRUE(answer);
            EXPECT_EQ(answer->mid(4), QByteArray("\x41\x07", 2));
        }
        ASSERT_EQ(::kill(pid, SIGTERM), 0);
        // It is no child of this process: wait for the link it removes as it ends.
        for (int i = 0; i < 100 && QFileInfo(link).isSymLink(); ++i) {
            QThread::msleep(50);
        }
        EXPECT_FALSE(QFileInfo(link).isSymLink());
    }
}

}  // namespace
}  // namespace verimant::sim
