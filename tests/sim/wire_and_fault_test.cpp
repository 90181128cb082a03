#include "sim/sim_faults.h"
#include "sim/wire_pacer.h"

#include "link/frame_codec.h"

#include <gtest/gtest.h>

namespace verimant::sim {
namespace {

using namespace std::chrono_literals;

TEST(WirePacer, AnswerWaitsForTheRequestAndTakesItsOwnByteTimes) {
    WirePacer pacer;
    EXPECT_EQ(pacer.byteTime(), 43402ns);  // 10 bits at 230400 baud
    const WirePacer::Clock::time_point t0{1s};
    for (int i = 0; i < 10; ++i) {
        pacer.received(t0);
    }
    // Ready at once, but the ten request bytes are still on the line.
    EXPECT_EQ(pacer.answerDone(t0, 5), t0 + pacer.wireTime(15));
    // A second answer queues behind the first.
    EXPECT_EQ(pacer.answerDone(t0, 5), t0 + pacer.wireTime(20));
    // After an idle gap nothing is owed.
    EXPECT_EQ(pacer.answerDone(t0 + 1s, 4), t0 + 1s + pacer.wireTime(4));
}

TEST(FaultDice, ShareZeroNeverAndOneAlways) {
    FaultDice dice(7);
    int hits = 0;
    for (int i = 0; i < 1000; ++i) {
        EXPECT_FALSE(dice.roll(0.0));
        EXPECT_TRUE(dice.roll(1.0));
        hits += dice.roll(0.3) ? 1 : 0;
    }
    EXPECT_GT(hits, 200);
    EXPECT_LT(hits, 400);
}

TEST(CorruptEncodedFrame, DamagedFramesAreNeverDeliveredButKeepTheirShape) {
    FaultDice dice(3);
    const QByteArray body = QByteArray("\x00\x01\x00\x01\x41\x02\xC0\xDB\xC1\xDA", 10) + "data";
    const QByteArray frame = *encodeFrame(body);
    for (int round = 0; round < 200; ++round) {
        const QByteArray damaged = corruptEncodedFrame(frame, dice);
        ASSERT_EQ(damaged.size(), frame.size());
        ASSERT_NE(damaged, frame);
        EXPECT_EQ(damaged.count(char(0xC0)), frame.count(char(0xC0)));
        FrameDecoder decoder;
        for (char byte : damaged) {
            ASSERT_FALSE(decoder.feed(std::uint8_t(byte))) << damaged.toHex().toStdString();
        }
    }
}

}  // namespace
}  // namespace verimant::sim
