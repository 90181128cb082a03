#include "link/frame_codec.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace verimant {
namespace {

// Every input the fuzzer kept is replayed here, so ordinary builds check them too.
TEST(FrameDecoderCorpus, EveryKeptInputDecodesSafely) {
    const QDir corpus(QStringLiteral(VERIMANT_SOURCE_DIR "/tests/fuzz/corpus/frame_decoder"));
    const QStringList names = corpus.entryList(QDir::Files);
    ASSERT_FALSE(names.isEmpty()) << qPrintable(corpus.path());
    const QByteArray good = encodeFrame(QByteArray("\x00\x01\x00\x01\x01\x00", 6)).value();
    int framesSeen = 0;
    for (const QString& name : names) {
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(name);
        FrameDecoder decoder;
        for (const char c : file.readAll()) {
            if (decoder.feed(std::uint8_t(c))) {
                ++framesSeen;
                const int length = decoder.frameLength();
                ASSERT_GE(length, 1) << qPrintable(name);
                ASSERT_LE(length, kMaxDecodedBody - 2) << qPrintable(name);
                const std::uint8_t* bytes = decoder.frameData();
                EXPECT_EQ(frameChecksum(bytes, length), bytes[length] | bytes[length + 1] << 8)
                    << qPrintable(name);
            }
        }
        QByteArray last;
        for (const char c : good + good) {
            if (decoder.feed(std::uint8_t(c))) {
                last = decoder.frame();
            }
        }
        EXPECT_EQ(last, good.mid(1, 6)) << qPrintable(name) << " leaves the decoder out of step";
    }
    EXPECT_GT(framesSeen, 0) << "the corpus should hold some valid frames";
}

}  // namespace
}  // namespace verimant
