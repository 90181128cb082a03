#include "sim/pty_instrument.h"
#include "sim/sim_command_line.h"

#include "tests/sim/raw_line.h"
#include "tests/sim/request_bytes.h"
#include "tests/support/test_environment.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace verimant::sim {
namespace {

using namespace verimant::sim::test;

PtyInstrumentOptions countingOptions() {
    PtyInstrumentOptions options;
    options.portNumber = 9;
    return options;
}

// The serving thread counts a write after it returned, which may be just after the answer arrived.
bool sentCountReaches(const PtyInstrument& instrument, qint64 expected) {
    for (int i = 0; i < 100 && instrument.lineBytesSent() < expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return instrument.lineBytesSent() == expected;
}

qint64 encodedSize(const QByteArray& body) {
    const auto frame = encodeFrame(body);
    return frame ? frame->size() : -1;
}

// The counts must be the bytes a real line would carry, stuffing included, or a benchmark's ideal
// wire time comes out wrong.
TEST(LineCounts, CountEveryFramedByteInBothDirectionsStuffingIncluded) {
    PtyInstrument instrument({}, countingOptions());
    QString error;
    ASSERT_TRUE(instrument.start(&error)) << error.toStdString();
    EXPECT_EQ(instrument.lineBytesReceived(), 0);
    EXPECT_EQ(instrument.lineBytesSent(), 0);

    RawLine line(instrument.linkPath());
    ASSERT_TRUE(line.isOpen());
    // 0xC0 and 0xDB in the echo data are stuffed both ways.
    const QByteArray echoData("\xC0\xDB\xC0Tar", 6);
    const QByteArray request = requestBody(command(1, 0) + echoData);
    ASSERT_TRUE(line.send(request));
    const auto answer = line.receive(1000);
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->mid(6), echoData);

    // Noise between frames occupies the line as well.
    ASSERT_TRUE(line.sendBytes(QByteArray("\x11\x22\x33", 3)));
    ASSERT_TRUE(line.send(request));
    ASSERT_TRUE(line.receive(1000));

    EXPECT_EQ(instrument.lineBytesReceived(), 2 * encodedSize(request) + 3);
    EXPECT_TRUE(sentCountReaches(instrument, 2 * encodedSize(*answer)))
        << instrument.lineBytesSent();
    // Checksum, delimiters and one escape byte for each of the three stuffed data bytes.
    EXPECT_GE(encodedSize(*answer), answer->size() + 2 + 2 + 3);
    EXPECT_EQ(instrument.framesReceived(), 2);
}

TEST(LineCounts, ProgramWritesItsCountsAtExitWhenAsked) {
    QString error;
    QCommandLineParser parser;
    addSimOptions(parser);
    ASSERT_TRUE(parser.parse({"verimant-sim", "--stats-file", "/x/stats.txt"}));
    const auto options = readSimOptions(parser, &error);
    ASSERT_TRUE(options) << error.toStdString();
    EXPECT_EQ(options->statsFile, "/x/stats.txt");

    const QString program = verimant::test::builtProgram("verimant-sim");
    if (!QFileInfo(program).isExecutable()) {
        GTEST_SKIP() << "verimant-sim is not built";
    }
    const QString statsFile = verimant::test::testRootDir() + "/stats.txt";
    QProcess process;
    process.start(program, {"--port", "8", "--stats-file", statsFile});
    ASSERT_TRUE(process.waitForStarted(5000));
    ASSERT_TRUE(process.waitForReadyRead(5000));
    const QByteArray request = requestBody(command(1, 0) + "Tarvelon");
    qint64 answerBytes = 0;
    {
        RawLine line(qEnvironmentVariable("VERIMANT_PORTS_DIR") + "/COM8");
        ASSERT_TRUE(line.send(request));
        const auto answer = line.receive(2000);
        ASSERT_TRUE(answer);
        answerBytes = encodedSize(*answer);
    }
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitCode(), 0);

    QFile stats(statsFile);
    ASSERT_TRUE(stats.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLatin1(stats.readAll()),
              QStringLiteral("bytes_received: %1\nbytes_sent: %2\nframes_received: 1\n")
                  .arg(encodedSize(request))
                  .arg(answerBytes));
}

}  // namespace
}  // namespace verimant::sim
