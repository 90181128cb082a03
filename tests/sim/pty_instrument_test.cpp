#include "sim/pty_instrument.h"

#include "sim/instrument_files.h"
#include "tests/sim/raw_line.h"
#include "tests/sim/request_bytes.h"
#include "tests/support/test_environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <chrono>

namespace verimant::sim {
namespace {

using namespace verimant::sim::test;
using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool linkExists(const QString& path) {
    return QFileInfo(path).isSymLink();
}

int entriesIn(const char* folder) {
    return int(
        QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}

// Asks from channel 1 and returns the answer's data bytes.
std::optional<QByteArray> ask(RawLine& line, const QByteArray& payload, int timeoutMs = 1000) {
    if (!line.send(requestBody(payload))) {
        return std::nullopt;
    }
    const auto body = line.receive(timeoutMs);
    if (!body || body->size() < 6) {
        return std::nullopt;
    }
    return body->mid(6);
}

PtyInstrumentOptions quickOptions() {
    PtyInstrumentOptions options;
    options.portNumber = 5;
    options.resetDelayMs = 300;
    return options;
}

TEST(PtyInstrument, ReplacesAStaleLinkAnswersOnEveryChannelAndRemovesItsLinkAtStop) {
    PtyInstrumentOptions options = quickOptions();
    options.portsDir = verimant::test::testRootDir() + "/missing";
    PtyInstrument homeless({}, options);
    QString error;
    EXPECT_FALSE(homeless.start(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(homeless.isPresent());

    const QString link = qEnvironmentVariable("VERIMANT_PORTS_DIR") + "/COM5";
    ASSERT_TRUE(QFile::link("/dev/pts/nowhere", link));
    {
        PtyInstrument instrument({}, quickOptions());
        ASSERT_TRUE(instrument.start(&error)) << error.toStdString();
        EXPECT_EQ(instrument.linkPath(), link);
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), instrument.slavePath());

        RawLine line(link);
        ASSERT_TRUE(line.send(requestBody(command(1, 0) + "Tarvelon")));
        EXPECT_EQ(line.receive(1000), QByteArray("\x00\x01\x00\x01\x41\x00", 6) + "Tarvelon");
        ASSERT_TRUE(line.send(requestBody(readRequest(2, 2, kEflVersionEntryAddress, 16), 2)));
        const auto entry = line.receive(1000);
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->left(6), QByteArray("\x00\x02\x00\x01\x42\x02", 6));
        EXPECT_EQ(entry->size(), 6 + 5 + 16);
        EXPECT_EQ(instrument.framesReceived(), 2);
    }
    EXPECT_FALSE(linkExists(link));
}

TEST(PtyInstrument, ResetHangsUpAndComesBackLaterInTheAskedMode) {
    const int fdsBefore = entriesIn("/proc/self/fd");
    const int threadsBefore = entriesIn("/proc/self/task");
    {
        PtyInstrument instrument({}, quickOptions());
        ASSERT_TRUE(instrument.start());
        RawLine line(instrument.linkPath());
        ASSERT_TRUE(ask(line, command(1, 5) + QByteArray("\x03\x00\x00\x00\x0A", 5)));
        const auto resetAt = Clock::now();
        EXPECT_TRUE(line.waitForHangup(1000));
        EXPECT_TRUE(instrument.waitUntilAbsent(1000));
        EXPECT_FALSE(linkExists(instrument.linkPath()));

        ASSERT_TRUE(instrument.waitForAppearance(2, 5000));
        EXPECT_GE(msSince(resetAt), 250);
        RawLine again(instrument.linkPath());
        EXPECT_EQ(readLe16(ask(again, command(1, 1)).value_or("????"), 2), 0);
        EXPECT_EQ(instrument.snapshot().mode(), InstrumentMode::BootLoader);

        // Stopped while away after the reset back into the main firmware, twice; the tool's mode
        // switching tests see it come back there.
        ASSERT_TRUE(ask(again, command(1, 5) + QByteArray("\x02\x00\x00\x00\x0A", 5)));
        ASSERT_TRUE(instrument.waitUntilAbsent(1000));
        instrument.stop();
        instrument.stop();
        EXPECT_FALSE(linkExists(instrument.linkPath()));
    }
    EXPECT_EQ(entriesIn("/proc/self/fd"), fdsBefore);
    EXPECT_EQ(entriesIn("/proc/self/task"), threadsBefore);
}

TEST(PtyInstrument, PacedExchangesTakeAtLeastTheWireTime) {
    PtyInstrumentOptions options = quickOptions();
    options.paced = true;
    PtyInstrument instrument({}, options);
    ASSERT_TRUE(instrument.start());
    RawLine line(instrument.linkPath());
    const QByteArray request = *encodeFrame(requestBody(readRequest(1, 2, 0x08010000, 255)));
    const int exchanges = 30;
    long long bytes = 0;
    const auto start = Clock::now();
    for (int i = 0; i < exchanges; ++i) {
        ASSERT_TRUE(line.send(requestBody(readRequest(1, 2, 0x08010000, 255))));
        const auto answer = line.receive(2000);
        ASSERT_TRUE(answer);
        bytes += request.size() + encodeFrame(*answer)->size();
    }
    const double elapsed = double(msSince(start));
    const double wireMs = double(bytes) * 10.0 * 1000.0 / 230400.0;
    EXPECT_GE(elapsed, wireMs * 0.95) << bytes << " bytes";
    EXPECT_LE(elapsed, wireMs * 3 + 2000) << bytes << " bytes";
}

TEST(PtyInstrument, AnswerFaultsCanBeSwitchedWhileRunning) {
    PtyInstrument instrument({}, quickOptions());
    ASSERT_TRUE(instrument.start());
    RawLine line(instrument.linkPath());
    const QByteArray echo = command(1, 0) + "abc";

    SimFaults faults;
    faults.dropShare = 1.0;
    instrument.setFaults(faults);
    EXPECT_FALSE(ask(line, echo, 300));

    faults = {};
    faults.corruptShare = 1.0;
    instrument.setFaults(faults);
    ASSERT_TRUE(line.send(requestBody(echo)));
    const QByteArray damaged = line.drain(300);
    ASSERT_FALSE(damaged.isEmpty());
    FrameDecoder decoder;
    for (char byte : damaged) {
        EXPECT_FALSE(decoder.feed(std::uint8_t(byte)));
    }
    EXPECT_EQ(instrument.answersLost(), 1);
    EXPECT_EQ(instrument.answersDamaged(), 1);

    faults = {};
    faults.lateMs = 300;
    instrument.setFaults(faults);
    const auto sentAt = Clock::now();
    EXPECT_TRUE(ask(line, echo, 2000));
    EXPECT_GE(msSince(sentAt), 280);

    faults = {};
    faults.silentAfter = 2;
    instrument.setFaults(faults);
    EXPECT_TRUE(ask(line, echo));
    EXPECT_TRUE(ask(line, echo));
    EXPECT_FALSE(ask(line, echo, 300));
    EXPECT_FALSE(ask(line, echo, 300));
    EXPECT_EQ(instrument.framesReceived(), 7);

    instrument.setFaults({});
    EXPECT_TRUE(ask(line, echo));
}

TEST(PtyInstrument, UnplugsInTheMiddleOfAWriteAndReturnsWhenAsked) {
    PtyInstrumentOptions options = quickOptions();
    options.faults.unplugAfterBytes = 200;
    PtyInstrument instrument({}, options);
    ASSERT_TRUE(instrument.start());
    RawLine line(instrument.linkPath());
    ASSERT_TRUE(line.send(requestBody(command(2, 5) + le32(0x3000), 2)));
    ASSERT_TRUE(line.receive(1000));
    ASSERT_TRUE(line.send(requestBody(writeRequest(2, 3, 0x3000, QByteArray(128, 'w')), 2)));
    ASSERT_TRUE(line.receive(1000));
    ASSERT_TRUE(line.send(requestBody(writeRequest(2, 3, 0x3080, QByteArray(128, 'w')), 2)));
    EXPECT_FALSE(line.receive(300));
    EXPECT_TRUE(line.waitForHangup(1000));
    EXPECT_FALSE(linkExists(instrument.linkPath()));
    // The write that reached the count landed; only its answer was lost.
    EXPECT_EQ(instrument.withInstrument([](Instrument& i) { return i.flashBytesWritten(); }), 256);

    instrument.replug();
    ASSERT_TRUE(instrument.waitForAppearance(2, 3000));
    RawLine again(instrument.linkPath());
    EXPECT_TRUE(ask(again, command(1, 0) + "x"));
}

// The interruption sweep numbers its cut points by the requests of the write alone; a link test
// that the tool's timer slips in must not move them, and a RESET cut off from its answer must
// still bring the instrument back in the program it asked for.
TEST(PtyInstrument, CutsAfterTheNthRequestNotCountingLinkTestsAndKeepsACutOffRestart) {
    PtyInstrumentOptions options = quickOptions();
    options.faults.cutAfterRequest = 3;
    PtyInstrument instrument({}, options);
    ASSERT_TRUE(instrument.start());
    RawLine line(instrument.linkPath());
    const QByteArray echo = command(1, 0) + "ping";
    EXPECT_TRUE(ask(line, echo));
    EXPECT_TRUE(ask(line, command(1, 1)));
    EXPECT_TRUE(ask(line, echo));
    EXPECT_TRUE(ask(line, echo));
    EXPECT_TRUE(ask(line, command(1, 1)));
    ASSERT_TRUE(line.send(requestBody(command(1, 5) + char(0x03))));
    EXPECT_FALSE(line.receive(300)) << "the third counted request loses its answer";
    EXPECT_TRUE(line.waitForHangup(1000));
    EXPECT_FALSE(linkExists(instrument.linkPath()));

    instrument.replug();
    ASSERT_TRUE(instrument.waitForAppearance(2, 3000));
    EXPECT_EQ(instrument.withInstrument([](Instrument& i) { return i.mode(); }),
              InstrumentMode::BootLoader);
    RawLine again(instrument.linkPath());
    EXPECT_TRUE(ask(again, command(1, 1))) << "a cut fires once";
    EXPECT_TRUE(ask(again, echo));
}

TEST(PtyInstrument, SavedFilesHoldExactlyWhatWasWritten) {
    PtyInstrument instrument({}, quickOptions());
    ASSERT_TRUE(instrument.start());
    RawLine line(instrument.linkPath());
    QByteArray pattern;
    for (int i = 0; i < 300; ++i) {
        pattern.append(char((i * 37 + 11) & 0xFF));  // includes 0xC0 and 0xDB
    }
    ASSERT_TRUE(ask(line, command(2, 5) + le32(0x5000)));
    for (int offset = 0; offset < pattern.size(); offset += 128) {
        const QByteArray chunk = pattern.mid(offset, 128);
        const auto answer = ask(line, writeRequest(2, 3, 0x5000 + offset, chunk));
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->at(4), char(chunk.size()));
    }
    ASSERT_TRUE(ask(line, command(1, 7) + QByteArray("\xCF\xD0 {X0}", 7) + '\0'));

    const QString dir = verimant::test::testRootDir() + "/saved";
    QString error;
    ASSERT_TRUE(instrument.saveFiles(dir, &error)) << error.toStdString();
    const QByteArray image = fileBytes(dir + "/" + kExternalFlashFile);
    ASSERT_EQ(image.size(), 8 * 1024 * 1024);
    EXPECT_EQ(image.mid(0x5000, pattern.size() + 16), pattern + QByteArray(16, char(0xFF)));
    EXPECT_EQ(image, instrument.snapshot().externalFlash().bytes());
    EXPECT_EQ(fileBytes(dir + "/" + kProcessorFlashFile).size(), 256 * 1024);
    EXPECT_EQ(fileBytes(dir + "/" + kScreenTextsFile), QByteArray("\xCF\xD0 {X0}\n", 8));
    EXPECT_EQ(fileBytes(dir + "/" + kParametersFile), QByteArray("6=1\n"));
}

}  // namespace
}  // namespace verimant::sim
