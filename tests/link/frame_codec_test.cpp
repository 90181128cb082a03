#include "link/frame_codec.h"

#include "tests/link/pty_peer.h"

#include <gtest/gtest.h>

#include <QList>

#include <random>

namespace verimant {
namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

QList<QByteArray> decodeAll(const QByteArray& stream) {
    FrameDecoder decoder;
    QList<QByteArray> frames;
    for (char c : stream) {
        if (decoder.feed(std::uint8_t(c))) {
            frames.append(decoder.frame());
        }
    }
    return frames;
}

const QByteArray kEchoBody = bytes({0x00, 0x01, 0x00, 0x01, 0x01, 0x00});
const QByteArray kEchoFrame = bytes({0xC0, 0x00, 0x01, 0x00, 0x01, 0x01, 0x00, 0x24, 0x02, 0xC0});

// A body whose checksum's low byte is `wanted`: the last byte is chosen to make it so.
QByteArray bodyWithChecksumLow(std::uint8_t wanted) {
    QByteArray body = bytes({0x00, 0x01, 0x00, 0x01, 0x05, 0x02, 0x00});
    for (int last = 0; last < 256; ++last) {
        body[body.size() - 1] = char(last);
        if ((frameChecksum(body) & 0xFF) == wanted) {
            return body;
        }
    }
    return {};
}

TEST(FrameCodec, ConnectionTestRequestOnTheWire) {
    EXPECT_EQ(frameChecksum(kEchoBody), 0x0224);
    EXPECT_EQ(encodeFrame(kEchoBody), kEchoFrame);
    EXPECT_EQ(decodeAll(kEchoFrame), QList<QByteArray>{kEchoBody});

    QByteArray wrongSum = kEchoFrame;
    wrongSum[7] = char(0x25);
    EXPECT_TRUE(decodeAll(wrongSum).isEmpty());
}

TEST(FrameCodec, StuffingBothWays) {
    const QByteArray body = bytes({0x00, 0x01, 0x00, 0x02, 0xC0, 0xDB, 0x11});
    const QByteArray frame = encodeFrame(body).value();
    EXPECT_EQ(frame.mid(5, 5), bytes({0xDB, 0xDC, 0xDB, 0xDD, 0x11}));
    EXPECT_EQ(frame.count(char(0xC0)), 2) << "only the delimiters are sent as C0";
    EXPECT_EQ(decodeAll(frame), QList<QByteArray>{body});

    // The checksum is stuffed too.
    const QByteArray sumIsEscape = bodyWithChecksumLow(0xDB);
    ASSERT_FALSE(sumIsEscape.isEmpty());
    const QByteArray sumFrame = encodeFrame(sumIsEscape).value();
    EXPECT_EQ(sumFrame.mid(1 + sumIsEscape.size(), 2), bytes({0xDB, 0xDD}));
    EXPECT_EQ(decodeAll(sumFrame), QList<QByteArray>{sumIsEscape});
    const QByteArray sumIsDelimiter = bodyWithChecksumLow(0xC0);
    ASSERT_FALSE(sumIsDelimiter.isEmpty());
    EXPECT_EQ(decodeAll(encodeFrame(sumIsDelimiter).value()), QList<QByteArray>{sumIsDelimiter});
}

TEST(FrameCodec, EncoderRefusesFramesLongerThanItsArea) {
    // 545 plain body bytes and a plain checksum make exactly 549 bytes with the delimiters.
    const QByteArray longest(545, '\x11');
    ASSERT_EQ(frameChecksum(longest), 0xA1CB);
    ASSERT_TRUE(encodeFrame(longest).has_value());
    EXPECT_EQ(encodeFrame(longest)->size(), 549);
    EXPECT_FALSE(encodeFrame(QByteArray(546, '\x11')).has_value());
    // Stuffing counts: 300 escaped bytes need 600.
    EXPECT_FALSE(encodeFrame(QByteArray(300, char(0xC0))).has_value());
}

TEST(FrameDecoder, BadEscapeDropsTheFrameAndEscapedDelimiterRestarts) {
    const QByteArray good = encodeFrame(kEchoBody).value();
    // DB followed by an ordinary byte: frame dropped, the decoder waits for the next start.
    QByteArray badEscape = good;
    badEscape.insert(3, bytes({0xDB, 0x01}));
    EXPECT_TRUE(decodeAll(badEscape).isEmpty());
    EXPECT_EQ(decodeAll(badEscape + good), QList<QByteArray>{kEchoBody});

    // DB followed by C0: that C0 opens a new frame.
    const QByteArray restart = bytes({0xC0, 0x10, 0x20, 0xDB}) + good;
    EXPECT_EQ(decodeAll(restart), QList<QByteArray>{kEchoBody});
}

TEST(FrameDecoder, DelimitersAreNotShared) {
    const QByteArray a = kEchoBody;
    const QByteArray b = bytes({0x00, 0x02, 0x00, 0x01, 0x41, 0x00, 0x33});
    const QByteArray frameA = encodeFrame(a).value();
    const QByteArray frameB = encodeFrame(b).value();
    EXPECT_EQ(decodeAll(frameA + frameB), (QList<QByteArray>{a, b}));
    // C0 A C0 B C0: the C0 after A closes it; B has no opening delimiter of its own.
    EXPECT_EQ(decodeAll(frameA + frameB.mid(1)), QList<QByteArray>{a});
}

TEST(FrameDecoder, CorruptedFrameDoesNotHideTheNextOne) {
    const QByteArray bad = test::PtyPeer::corrupted(kEchoBody);
    const QByteArray good = encodeFrame(kEchoBody).value();
    EXPECT_TRUE(decodeAll(bad).isEmpty());
    EXPECT_EQ(decodeAll(bad + good), QList<QByteArray>{kEchoBody});
    // Even when the next frame shares the corrupted frame's closing delimiter.
    EXPECT_EQ(decodeAll(bad + good.mid(1)), QList<QByteArray>{kEchoBody});
}

TEST(FrameDecoder, ShortestAndLongestFrames) {
    // One body byte plus checksum is the least the decoder completes.
    const QByteArray one = bytes({0x42});
    EXPECT_EQ(decodeAll(test::PtyPeer::wireAnyLength(one)), QList<QByteArray>{one});
    EXPECT_TRUE(decodeAll(bytes({0xC0, 0xFF, 0xFF, 0xC0})).isEmpty()) << "empty body";

    // The decoder holds 1100 bytes with the checksum: a 1098-byte body fits, 1099 does not.
    QByteArray longest(1098, '\x00');
    for (int i = 0; i < longest.size(); ++i) {
        longest[i] = char(i * 13);
    }
    EXPECT_EQ(decodeAll(test::PtyPeer::wireAnyLength(longest)), QList<QByteArray>{longest});
    const QByteArray tooLong = longest + 'x';
    const QByteArray next = encodeFrame(kEchoBody).value();
    EXPECT_EQ(decodeAll(test::PtyPeer::wireAnyLength(tooLong) + next),
              QList<QByteArray>{kEchoBody});
}

TEST(FrameDecoder, FrameIsValidOnlyUntilTheNextByte) {
    FrameDecoder decoder;
    QByteArray frame;
    for (char c : kEchoFrame) {
        if (decoder.feed(std::uint8_t(c))) {
            frame = decoder.frame();
            EXPECT_EQ(decoder.frameLength(), kEchoBody.size());
        }
    }
    EXPECT_EQ(frame, kEchoBody);
    decoder.feed(0x55);
    EXPECT_TRUE(decoder.frame().isEmpty());
}

TEST(FrameDecoder, RandomBytesNeverBreakIt) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    FrameDecoder decoder;
    for (int i = 0; i < 2'000'000; ++i) {
        // Plenty of delimiters and escapes, so every state is visited often.
        int value = byte(random);
        if (value < 24) {
            value = 0xC0;
        } else if (value < 40) {
            value = 0xDB;
        }
        if (decoder.feed(std::uint8_t(value))) {
            ASSERT_GE(decoder.frameLength(), 1);
            ASSERT_LE(decoder.frameLength(), kMaxDecodedBody - 2);
        }
    }
    // Still in step afterwards.
    QList<QByteArray> after;
    for (char c : encodeFrame(kEchoBody).value() + encodeFrame(kEchoBody).value()) {
        if (decoder.feed(std::uint8_t(c))) {
            after.append(decoder.frame());
        }
    }
    ASSERT_FALSE(after.isEmpty());
    EXPECT_EQ(after.last(), kEchoBody);
}

}  // namespace
}  // namespace verimant
