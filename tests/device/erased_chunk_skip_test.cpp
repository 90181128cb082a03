#include "device/update_efl.h"
#include "device/update_kmt2.h"

#include "tests/device/sealed_firmware_region.h"
#include "tests/device/simulated_device.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace verimant {
namespace {

using sim::FlashOperation;
using sim::InstrumentMode;
using test::SimulatedDevice;

constexpr std::uint32_t kMainStart = 0x08004000;
constexpr std::uint32_t kRegion = 0x10000;
constexpr std::uint32_t kDataSize = 0x10000;
constexpr int kChunk = 128;

QByteArray demoFirmware() {
    QFile file(QStringLiteral(VERIMANT_SOURCE_DIR "/examples/verimant_kmt2_demo.hex"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// Half of its chunks erased state, among them the whole of sector 3 and the last chunk.
QByteArray halfEmptyDataImage() {
    QByteArray data = test::patternBytes(kDataSize, 21);
    for (qsizetype chunk = 0; chunk < data.size() / kChunk; ++chunk) {
        const bool sector3 = chunk * kChunk / 4096 == 3;
        if (chunk % 2 == 1 || sector3 || chunk == data.size() / kChunk - 1) {
            data.replace(chunk * kChunk, kChunk, QByteArray(kChunk, char(0xFF)));
        }
    }
    return data;
}

struct Writer {
    const char* name;
    InstrumentMode mode;
    sim::FlashTarget target;
    std::uint32_t start;
    QByteArray expected;  // what the covered area must hold afterwards
    std::uint32_t eraseUnit;
    QString lastProgressLine;
    std::function<bool(SimulatedDevice&, const WriteOptions&)> write;
};

// Old data under a sparse image: the chunks that only repeat the erased state stay off the line,
// yet every page or sector is erased and the flash ends byte for byte as the image says.
TEST(ErasedChunkSkip, SparseImagesOverOldDataEndByteExactWithFewerChunksSent) {
    const QByteArray firmware = demoFirmware();
    const QString firmwarePath = test::writeTestFile("sparse.hex", firmware);
    const QByteArray data = halfEmptyDataImage();
    const QString dataPath = test::writeTestFile("half_empty.bin", data);
    const Writer writers[] = {
        {"main firmware", InstrumentMode::BootLoader, sim::FlashTarget::Processor, kMainStart,
         test::sealedFirmwareRegion(firmware, kMainStart, kMainStart + kRegion - 4), 2048,
         QStringLiteral("100% 64Кб "),
         [&](SimulatedDevice& device, const WriteOptions& options) {
             return Update_KMT2(device.session, firmwarePath, options);
         }},
        {"data image", InstrumentMode::MainFirmware, sim::FlashTarget::External, 0, data, 4096,
         QStringLiteral("# Writing: 100% 64KB [>>>>>>>>>>>>>>>>>>>>>>>>>]"),
         [&](SimulatedDevice& device, const WriteOptions& options) {
             return Update_EFL(device.session, dataPath, options);
         }},
    };
    for (const Writer& writer : writers) {
        for (const bool writeAll : {false, true}) {
            SCOPED_TRACE(std::string(writer.name) + (writeAll ? ", every chunk" : ", sparse"));
            sim::InstrumentConfig config;
            config.startMode = writer.mode;
            config.checksumWordAddress = kMainStart + kRegion - 4;
            SimulatedDevice device(config);
            ASSERT_TRUE(device.start());
            const int size = int(writer.expected.size());
            const QByteArray old = test::patternBytes(size + int(writer.eraseUnit), 22);
            device.withInstrument([&](sim::Instrument& instrument) {
                auto& flash = writer.target == sim::FlashTarget::External
                                  ? instrument.externalFlash()
                                  : instrument.processorFlash();
                flash.program(writer.start, old);
            });

            ASSERT_TRUE(writer.write(device, {.verify = !writeAll, .writeAll = writeAll}));

            const QByteArray flash = device.withInstrument([&](sim::Instrument& instrument) {
                auto& memory = writer.target == sim::FlashTarget::External
                                   ? instrument.externalFlash()
                                   : instrument.processorFlash();
                return memory.read(writer.start, size + int(writer.eraseUnit));
            });
            EXPECT_TRUE(flash.left(size) == writer.expected) << "old data left behind";
            EXPECT_TRUE(flash.mid(size) == old.mid(size)) << "beyond the image nothing changes";

            std::set<std::uint32_t> erased;
            int chunksSent = 0;
            for (const FlashOperation& op : device.flashOperations()) {
                if (op.kind == FlashOperation::Kind::Erase) {
                    erased.insert((op.address - writer.start) / writer.eraseUnit);
                } else {
                    ++chunksSent;
                }
            }
            EXPECT_EQ(erased.size(), std::size_t(size) / writer.eraseUnit)
                << "a page or sector of nothing but erased state is erased too";
            const int chunks = size / kChunk;
            if (writeAll) {
                EXPECT_EQ(chunksSent, chunks);
            } else {
                EXPECT_GT(chunksSent, 0);
                EXPECT_LE(chunksSent, chunks / 2 + 1);
                EXPECT_TRUE(device.logLines().contains("# ПРОВЕРКА: OK"));
            }
            EXPECT_TRUE(device.logLines().contains(writer.lastProgressLine))
                << device.logLines().join('\n').toStdString();
            EXPECT_TRUE(device.dialogs.progress.contains(100));
        }
    }
}

}  // namespace
}  // namespace verimant
