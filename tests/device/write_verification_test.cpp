#include "device/chunk_readback.h"
#include "device/readback_pieces.h"
#include "device/update_efl.h"
#include "device/update_kmt2.h"

#include "tests/device/simulated_device.h"

#include <gtest/gtest.h>

#include <functional>

namespace verimant {
namespace {

using sim::InstrumentMode;
using test::SimulatedDevice;

constexpr std::uint32_t kMainStart = 0x08004000;
constexpr std::uint32_t kRegion = 0x4000;

QString demoFirmware() {
    return QStringLiteral(VERIMANT_SOURCE_DIR "/examples/verimant_kmt2_demo.hex");
}

// How the simulated instrument answers a read-back piece of 255 bytes, and the piece size the
// read-back then settles on.
struct ReadAnswers {
    const char* name;
    int answerLimit;  // SimFaults::readAnswerLimit
    int silentAbove;  // SimFaults::readSilentAbove
    int pieceSize;
    const char* sizeLine;  // in the log
};

const ReadAnswers kReadAnswers[] = {
    {"full answers", -1, -1, 255, "# ПРОВЕРКА: чтение по 255 байт"},
    {"at most 100 bytes", 100, -1, 100,
     "# ПРОВЕРКА: прибор дал 100 байт из 255, чтение по 100 байт"},
    {"silent above 16 bytes", -1, 16, 16,
     "# ПРОВЕРКА: нет ответа на чтение 255 байт, чтение по 16 байт"},
};

struct Writer {
    const char* name;
    InstrumentMode mode;
    long long byteThatDoesNotTake;  // holds a byte other than 0xFF in the image
    std::function<bool(SimulatedDevice&, const WriteOptions&)> write;
};

// An instrument can answer a write while its flash does not hold the bytes. Only the read-back
// tells: without it such a write counts as written.
TEST(WriteVerification, ReadBackCatchesAByteThatDidNotTakeAndPassesASoundFlash) {
    const QString data = test::writeTestFile("verify.bin", test::patternBytes(10000, 3));
    const Writer writers[] = {
        {"main firmware", InstrumentMode::BootLoader, kMainStart + 0x100,
         [](SimulatedDevice& device, const WriteOptions& options) {
             return Update_KMT2(device.session, demoFirmware(), options);
         }},
        {"data image", InstrumentMode::MainFirmware, 5000,
         [data](SimulatedDevice& device, const WriteOptions& options) {
             return Update_EFL(device.session, data, options);
         }},
    };
    for (const Writer& writer : writers) {
        for (const bool stuck : {false, true}) {
            SCOPED_TRACE(std::string(writer.name) + (stuck ? ", a byte stuck" : ", sound"));
            sim::InstrumentConfig config;
            config.startMode = writer.mode;
            config.checksumWordAddress = kMainStart + kRegion - 4;
            sim::PtyInstrumentOptions options = SimulatedDevice::quickOptions();
            options.faults.stuckByteAt = stuck ? writer.byteThatDoesNotTake : -1;
            SimulatedDevice device(config, options);
            ASSERT_TRUE(device.start());

            EXPECT_EQ(writer.write(device, WriteOptions{.verify = false}), true)
                << "unverified, any answer counts";
            EXPECT_EQ(writer.write(device, WriteOptions{}), !stuck) << "verified by default";

            const QStringList log = device.logLines();
            if (stuck) {
                const QString address = QString::number(writer.byteThatDoesNotTake, 16)
                                            .toUpper()
                                            .rightJustified(6, u'0');
                EXPECT_TRUE(log.contains("# ПРОВЕРКА: расхождение с A=0x" + address + ", байт: 1"))
                    << log.join('\n').toStdString();
            } else {
                EXPECT_EQ(log.count("# ПРОВЕРКА: OK"), 1);
                EXPECT_TRUE(device.dialogs.progress.contains(100));
            }
        }
    }
}

const Writer& writerFor(InstrumentMode mode) {
    static const QString data = test::writeTestFile("pieces.bin", test::patternBytes(10000, 5));
    static const Writer writers[] = {
        {"main firmware", InstrumentMode::BootLoader, kMainStart,
         [](SimulatedDevice& device, const WriteOptions& options) {
             return Update_KMT2(device.session, demoFirmware(), options);
         }},
        {"data image", InstrumentMode::MainFirmware, 0,
         [](SimulatedDevice& device, const WriteOptions& options) {
             return Update_EFL(device.session, data, options);
         }},
    };
    return mode == InstrumentMode::BootLoader ? writers[0] : writers[1];
}

sim::PtyInstrumentOptions answering(const ReadAnswers& answers, long long stuckByteAt = -1) {
    sim::PtyInstrumentOptions options = SimulatedDevice::quickOptions();
    options.faults.readAnswerLimit = answers.answerLimit;
    options.faults.readSilentAbove = answers.silentAbove;
    options.faults.stuckByteAt = stuckByteAt;
    return options;
}

sim::InstrumentConfig startingIn(InstrumentMode mode) {
    sim::InstrumentConfig config;
    config.startMode = mode;
    config.checksumWordAddress = kMainStart + kRegion - 4;
    return config;
}

// A byte compared nowhere in a piece (its first, a middle or its last) would let a stuck byte
// there pass. The eighth piece's bytes differ from the erased state in both images.
TEST(WriteVerification, EveryPositionOfAPieceIsCompared) {
    for (const InstrumentMode mode : {InstrumentMode::BootLoader, InstrumentMode::MainFirmware}) {
        const Writer& writer = writerFor(mode);
        for (const ReadAnswers& answers : kReadAnswers) {
            const int size = answers.pieceSize;
            for (const int position : {0, size / 2, size - 1}) {
                const long long stuck = writer.byteThatDoesNotTake + 8 * size + position;
                if (mode == InstrumentMode::MainFirmware) {
                    ASSERT_NE(std::uint8_t(test::patternBytes(10000, 5)[stuck]), 0xFF);
                }
                SCOPED_TRACE(std::string(writer.name) + ", " + answers.name + ", byte " +
                             std::to_string(position) + " of a piece");
                SimulatedDevice device(startingIn(mode), answering(answers, stuck));
                ASSERT_TRUE(device.start());

                EXPECT_FALSE(writer.write(device, WriteOptions{}));
                const QString address =
                    QString::number(stuck, 16).toUpper().rightJustified(6, u'0');
                const QStringList log = device.logLines();
                EXPECT_TRUE(log.contains("# ПРОВЕРКА: расхождение с A=0x" + address + ", байт: 1"))
                    << log.join('\n').toStdString();
                EXPECT_TRUE(log.contains(QString::fromUtf8(answers.sizeLine)));
            }
        }
    }
}

// Read requests the instrument received during one sound write of the writer's image.
int readsOfOneWrite(InstrumentMode mode, const ReadAnswers& answers, const WriteOptions& options,
                    QStringList* log = nullptr) {
    SimulatedDevice device(startingIn(mode), answering(answers));
    if (!device.start() || !writerFor(mode).write(device, options)) {
        ADD_FAILURE() << "the write failed";
        return -1;
    }
    if (log) {
        *log = device.logLines();
    }
    return mode == InstrumentMode::BootLoader ? device.requests(0x01, 0x02)
                                              : device.requests(0x02, 0x02);
}

// The first large piece probes what the instrument answers: a full answer keeps 255 bytes, a
// shorter one sets the size, silence falls back to 16 after a single send. Each size reads every
// byte exactly once, and the log says which size was used.
TEST(WriteVerification, ProbeSettlesThePieceSize) {
    struct Expected {
        InstrumentMode mode;
        int readsPerOutcome[3];  // in kReadAnswers' order
    };
    // Of the main firmware's 16 KiB region only the stretches that were sent (its 6 KiB of code
    // and the checksum word's chunk) are read back, the data image's 10000 bytes whole; a silent
    // probe costs one request more.
    const Expected cases[] = {{InstrumentMode::BootLoader, {26, 63, 1 + 384}},
                              {InstrumentMode::MainFirmware, {40, 100, 1 + 625}}};
    for (const Expected& expected : cases) {
        for (int outcome = 0; outcome < 3; ++outcome) {
            const ReadAnswers& answers = kReadAnswers[outcome];
            SCOPED_TRACE(std::string(writerFor(expected.mode).name) + ", " + answers.name);
            QStringList log;
            const int unverified = readsOfOneWrite(expected.mode, answers, {.verify = false});
            const int verified = readsOfOneWrite(expected.mode, answers, {}, &log);
            EXPECT_EQ(verified - unverified, expected.readsPerOutcome[outcome]);
            EXPECT_TRUE(log.contains(QString::fromUtf8(answers.sizeLine)))
                << log.join('\n').toStdString();
            EXPECT_EQ(log.count("# ПРОВЕРКА: OK"), 1);
        }
    }
}

// The single-chunk check after a refused repeat tells a chunk that landed from one that did not,
// whatever piece size the instrument answers: bytes read are bytes compared, to the last.
TEST(WriteVerification, ChunkCheckComparesEveryByteAtEachPieceSize) {
    const QByteArray chunk = test::patternBytes(128, 9);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(chunk.constData());
    QByteArray lastDiffers = chunk;
    lastDiffers[127] = char(~lastDiffers[127]);
    const auto* other = reinterpret_cast<const std::uint8_t*>(lastDiffers.constData());
    constexpr std::uint32_t kAt = 0x3000;
    for (const ReadAnswers& answers : kReadAnswers) {
        SCOPED_TRACE(answers.name);
        SimulatedDevice device(startingIn(InstrumentMode::MainFirmware), answering(answers));
        ASSERT_TRUE(device.start());
        ASSERT_TRUE(device.commands.writeEflash(kAt, bytes, 128, false));
        EXPECT_TRUE(eflashHolds(device.commands, kAt, bytes, 128));
        EXPECT_FALSE(eflashHolds(device.commands, kAt, other, 128));
        EXPECT_TRUE(device.externalFlash(kAt, 128) == chunk);
    }
}

// Whatever size the probe settles on, the pieces join into exactly the bytes the flash holds, in
// both areas, across an area that is no multiple of any piece size.
TEST(WriteVerification, PiecesJoinIntoTheFlashByteForByte) {
    const QByteArray pattern = test::patternBytes(1000, 11);
    const struct {
        FlashArea area;
        std::uint32_t start;
    } areas[] = {{FlashArea::External, 0x10000}, {FlashArea::Processor, kMainStart}};
    for (const ReadAnswers& answers : kReadAnswers) {
        SimulatedDevice device(startingIn(InstrumentMode::BootLoader), answering(answers));
        ASSERT_TRUE(device.start());
        device.withInstrument([&](sim::Instrument& instrument) {
            EXPECT_TRUE(instrument.externalFlash().write(0x10000, pattern));
            EXPECT_TRUE(instrument.processorFlash().write(kMainStart, pattern));
        });
        for (const auto& [area, start] : areas) {
            SCOPED_TRACE(std::string(answers.name) +
                         (area == FlashArea::External ? ", external" : ", processor"));
            ReadBackPieces pieces(device.commands, area);
            QByteArray read(pattern.size(), '\0');
            auto* buffer = reinterpret_cast<std::uint8_t*>(read.data());
            for (int done = 0; done < read.size();) {
                const int count = pieces.next(start + std::uint32_t(done), buffer + done,
                                              std::min(255, int(read.size()) - done));
                ASSERT_GT(count, 0) << "at " << done;
                done += count;
            }
            EXPECT_TRUE(read == pattern);
            EXPECT_EQ(pieces.pieceSize(), answers.pieceSize);
        }
    }
}

}  // namespace
}  // namespace verimant
