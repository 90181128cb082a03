#include "link/frame_codec.h"

#include "tests/link/pty_peer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QList>

#include <random>

namespace verimant {
namespace {

using test::PtyPeer;

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

QList<QByteArray> decodeAll(FrameDecoder& decoder, const QByteArray& stream) {
    QList<QByteArray> frames;
    for (char c : stream) {
        if (decoder.feed(std::uint8_t(c))) {
            frames.append(decoder.frame());
        }
    }
    return frames;
}

QList<QByteArray> decodeAll(const QByteArray& stream) {
    FrameDecoder decoder;
    return decodeAll(decoder, stream);
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
    FrameDecoder decoder;
    EXPECT_EQ(decodeAll(decoder, kEchoFrame), QList<QByteArray>{kEchoBody});
    EXPECT_EQ(decoder.frameLength(), kEchoBody.size());
    decoder.feed(0x55);
    EXPECT_TRUE(decoder.frame().isEmpty()) << "a frame is valid only until the next byte";
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
    EXPECT_EQ(encodeFrame(longest).value_or(QByteArray()).size(), 549);
    EXPECT_FALSE(encodeFrame(QByteArray(546, '\x11')).has_value());
    // Stuffing counts: 300 escaped bytes need 600.
    EXPECT_FALSE(encodeFrame(QByteArray(300, char(0xC0))).has_value());
}

TEST(FrameDecoder, FindsEveryGoodFrameAndOnlyThoseInAStream) {
    const QByteArray good = kEchoFrame;
    QByteArray wrongSum = good;
    wrongSum[7] = char(0x25);
    QByteArray badEscape = good;
    badEscape.insert(3, bytes({0xDB, 0x01}));
    const QByteArray other = bytes({0x00, 0x02, 0x00, 0x01, 0x41, 0x00, 0x33});
    const QByteArray otherFrame = encodeFrame(other).value();
    const QByteArray corrupted = PtyPeer::corrupted(kEchoBody);
    // The decoder holds 1100 bytes with the checksum: a 1098-byte body fits, 1099 does not.
    QByteArray longest(1098, '\x00');
    for (int i = 0; i < longest.size(); ++i) {
        longest[i] = char(i * 13);
    }
    const struct {
        const char* name;
        QByteArray stream;
        QList<QByteArray> frames;
    } rows[] = {
        {"wrong checksum", wrongSum, {}},
        {"escape before an ordinary byte drops the frame", badEscape + good, {kEchoBody}},
        {"escape before a delimiter starts a new frame",
         bytes({0xC0, 0x10, 0xDB}) + good,
         {kEchoBody}},
        {"back to back", good + otherFrame, {kEchoBody, other}},
        // C0 A C0 B C0: the C0 after A closes it; B has no opening delimiter of its own.
        {"delimiters are not shared", good + otherFrame.mid(1), {kEchoBody}},
        {"corrupted frame, then a good one", corrupted + good, {kEchoBody}},
        {"corrupted frame's closing delimiter opens the next",
         corrupted + good.mid(1),
         {kEchoBody}},
        {"one body byte is the shortest", PtyPeer::wireAnyLength("B"), {"B"}},
        {"empty body", bytes({0xC0, 0xFF, 0xFF, 0xC0}), {}},
        {"longest body", PtyPeer::wireAnyLength(longest), {longest}},
        {"too long, then a good one", PtyPeer::wireAnyLength(longest + 'x') + good, {kEchoBody}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(decodeAll(row.stream), row.frames) << row.name;
    }
}

// Every frame reported must be in bounds and carry its checksum, and the decoder must be in step
// for the good frames that follow.
int expectSafeAndInStep(const QByteArray& input, const QString& name) {
    SCOPED_TRACE(name.toStdString());
    FrameDecoder decoder;
    int frames = 0;
    for (const char c : input) {
        if (decoder.feed(std::uint8_t(c))) {
            ++frames;
            const int length = decoder.frameLength();
            EXPECT_GE(length, 1);
            EXPECT_LE(length, kMaxDecodedBody - 2);
            const std::uint8_t* body = decoder.frameData();
            EXPECT_EQ(frameChecksum(body, length), body[length] | body[length + 1] << 8);
        }
    }
    const QList<QByteArray> after = decodeAll(decoder, kEchoFrame + kEchoFrame);
    EXPECT_EQ(after.value(after.size() - 1), kEchoBody) << "out of step";
    return frames;
}

TEST(FrameDecoder, ArbitraryInputNeverBreaksIt) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray noise;
    for (int i = 0; i < 2'000'000; ++i) {
        // Plenty of delimiters and escapes, so every state is visited often.
        const int value = byte(random);
        noise.append(char(value < 24 ? 0xC0 : value < 40 ? 0xDB : value));
    }
    expectSafeAndInStep(noise, "random bytes");

    // Every input the fuzzer kept is replayed too, so ordinary builds check them.
    const QDir corpus(QStringLiteral(VERIMANT_SOURCE_DIR "/tests/fuzz/corpus/frame_decoder"));
    const QStringList names = corpus.entryList(QDir::Files);
    ASSERT_FALSE(names.isEmpty()) << qPrintable(corpus.path());
    int framesSeen = 0;
    for (const QString& name : names) {
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(name);
        framesSeen += expectSafeAndInStep(file.readAll(), name);
    }
    EXPECT_GT(framesSeen, 0) << "the corpus should hold some valid frames";
}

}  // namespace
}  // namespace verimant
