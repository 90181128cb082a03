#include "sim/pty_instrument.h"

#include "tests/sim/raw_line.h"
#include "tests/sim/request_bytes.h"

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

}  // namespace
}  // namespace verimant::sim
