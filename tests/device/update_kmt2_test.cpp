#include "device/update_kmt2.h"

#include "base/ui_language.h"
#include "device/firmware_record_file.h"
#include "device/flash_image.h"
#include "tests/device/simulated_device.h"
#include "tests/device/update_writer_probe.h"

#include <QFile>

#include <gtest/gtest.h>

namespace verimant {
namespace {

using sim::FlashOperation;
using sim::FlashTarget;
using sim::InstrumentMode;
using test::SimulatedDevice;

constexpr std::uint32_t kFlashBase = 0x08000000;
constexpr std::uint32_t kMainStart = 0x08004000;
constexpr int kFlashSize = 256 * 1024;  // processor type 3
constexpr int kPageSize = 2048;
const QString kBanner = QStringLiteral("#######################################");

QString demoFirmware() {
    return QStringLiteral(VERIMANT_SOURCE_DIR "/examples/verimant_kmt2_demo.hex");
}

// Processor type 3 in its boot loader, with the checksum word placed so that the main firmware
// region is `regionSize` bytes long.
sim::InstrumentConfig bootLoaderWithRegion(std::uint32_t regionSize) {
    sim::InstrumentConfig config;
    config.startMode = InstrumentMode::BootLoader;
    config.checksumWordAddress = kMainStart + regionSize - 4;
    return config;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

// The region from S to the checksum word as the image code builds and seals it.
QByteArray sealedRegion(const QString& path, std::uint32_t checksumAddress) {
    QByteArray image = makeFlashImage(3, kFlashSize);
    auto* bytes = reinterpret_cast<std::uint8_t*>(image.data());
    EXPECT_TRUE(buildImageFromRecords(readFile(path), {bytes, size_t(image.size())}).ok);
    const auto region = firmwareRegion(image.size(), kFlashBase, kMainStart, checksumAddress);
    EXPECT_TRUE(region.has_value());
    EXPECT_TRUE(sealFirmwareImage(image, *region, 0xFF));
    return image.mid(region->start, region->length());
}

// The boot loader's sum, computed here from its definition: byte at image offset i shifted by i
// mod 8.
std::uint32_t expectedChecksum(const QByteArray& region, std::uint32_t startOffset) {
    std::uint32_t sum = 0;
    for (qsizetype i = 0; i < region.size() - 4; ++i) {
        sum += std::uint32_t(std::uint8_t(region[i])) << ((startOffset + i) % 8);
    }
    return sum;
}

std::uint32_t le32At(const QByteArray& bytes, qsizetype at) {
    std::uint32_t value = 0;
    for (int k = 3; k >= 0; --k) {
        value = value << 8 | std::uint8_t(bytes[at + k]);
    }
    return value;
}

QByteArray processorFlash(SimulatedDevice& device, std::uint32_t address, int count) {
    return device.instrument().withInstrument([&](sim::Instrument& instrument) {
        return instrument.processorFlash().read(address, count);
    });
}

int cpuFlashRequests(SimulatedDevice& device) {
    int count = 0;
    for (int command : {0x03, 0x05, 0x06, 0x07}) {
        count += device.requests(0x03, std::uint8_t(command));
    }
    return count;
}

TEST(UpdateKmt2, WritesTheSealedRegionByteForByteErasingEachPageAsTheWriteReachesIt) {
    constexpr std::uint32_t kRegion = 0x10000;
    SimulatedDevice device(bootLoaderWithRegion(kRegion));
    ASSERT_TRUE(device.start());
    test::LinkCheckProbe probe(device.flags, device.instrument());

    ASSERT_TRUE(Update_KMT2(device.session, demoFirmware()));

    const QByteArray expected = sealedRegion(demoFirmware(), kMainStart + kRegion - 4);
    ASSERT_EQ(expected.size(), qsizetype(kRegion));
    EXPECT_TRUE(processorFlash(device, kMainStart, kRegion) == expected);
    EXPECT_EQ(le32At(expected, kRegion - 4), expectedChecksum(expected, kMainStart - kFlashBase));
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());

    // Board 278 on processor type 3: 128-byte requests; each page erased once, right before the
    // first chunk that lands in it.
    const auto operations = test::flashOperations(device.instrument());
    std::uint32_t next = kMainStart;
    int erases = 0;
    for (std::size_t i = 0; i < operations.size(); ++i) {
        const FlashOperation& op = operations[i];
        ASSERT_EQ(op.target, FlashTarget::Processor);
        if (op.kind == FlashOperation::Kind::Erase) {
            EXPECT_EQ(op.address, next) << "erase ahead of the write at " << next;
            EXPECT_EQ(op.address % kPageSize, 0u);
            ++erases;
            continue;
        }
        EXPECT_EQ(op.address, next);
        EXPECT_EQ(op.length, 128);
        const bool pageStart = op.address % kPageSize == 0;
        EXPECT_EQ(pageStart, i > 0 && operations[i - 1].kind == FlashOperation::Kind::Erase)
            << op.address;
        next += std::uint32_t(op.length);
    }
    EXPECT_EQ(next, kMainStart + kRegion);
    EXPECT_EQ(erases, int(kRegion / kPageSize));

    const QStringList lines = device.logLines();
    ASSERT_GE(lines.size(), 8);
    EXPECT_EQ(lines.mid(0, 4), QStringList({"==>Update_KMT2", "==>Device_Is_Booter_Or_KMT2",
                                            "BOOT  : 4.16", "KMT2  : 0.0"}));
    EXPECT_EQ(lines.mid(4, 3),
              QStringList({kBanner, "# Обновление KMT2", "# FileName: [verimant_kmt2_demo.hex]"}));
    EXPECT_EQ(lines.last(), QStringLiteral("100% 64Кб ")) << "the progress overwrote the last line";

    const QStringList status = device.dialogs.statusTexts;
    ASSERT_GE(status.size(), 3);
    EXPECT_EQ(status[0], QStringLiteral("Загрузка ПО KMT2 [verimant_kmt2_demo.hex]"));
    EXPECT_EQ(status[1], QStringLiteral("Загрузка ПО KMT2 [verimant_kmt2_demo.hex] 0%"));
    EXPECT_EQ(status.last(), QStringLiteral("100% 64Кб "));
    ASSERT_GE(device.dialogs.progress.size(), 2);
    EXPECT_EQ(device.dialogs.progress.mid(device.dialogs.progress.size() - 2),
              QList<int>({100, 0}));

    EXPECT_TRUE(device.flags.linkCheckEnabled);
    EXPECT_GT(probe.samplesBefore(operations.size()), 0);
    EXPECT_EQ(probe.enabledSamplesBefore(operations.size()), 0)
        << "the link test must stay off while the flash is written";
}

TEST(UpdateKmt2, TwoDataBytesAreSealedWithTheirShiftedSum) {
    // S at image offset 8, the checksum word right after two bytes 01 02: 0x01 + (0x02 << 1).
    sim::InstrumentConfig config;
    config.startMode = InstrumentMode::BootLoader;
    config.mainFirmwareStart = kFlashBase + 8;
    config.checksumWordAddress = kFlashBase + 10;
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());
    const QString path = test::writeTestFile(
        "two_bytes.hex", ":020000040800F2\r\n:020008000102F3\r\n:00000001FF\r\n");

    ASSERT_TRUE(Update_KMT2(device.session, path));
    EXPECT_EQ(processorFlash(device, kFlashBase + 8, 6).toHex(), QByteArray("010205000000"));
    EXPECT_EQ(device.logLines().last(), QStringLiteral("100% 0Кб "));
}

TEST(UpdateKmt2, Board245OfVariant4xWritesIn64ByteRequests) {
    sim::InstrumentConfig config = bootLoaderWithRegion(0x1000);
    config.boardType = 1;  // board 245
    config.boardVariant = 45;
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());

    ASSERT_TRUE(Update_KMT2(device.session, demoFirmware()));
    int writes = 0;
    for (const FlashOperation& op : test::flashOperations(device.instrument())) {
        if (op.kind == FlashOperation::Kind::Write) {
            EXPECT_EQ(op.length, 64);
            ++writes;
        }
    }
    EXPECT_EQ(writes, 0x1000 / 64);
    EXPECT_TRUE(processorFlash(device, kMainStart, 0x1000) ==
                sealedRegion(demoFirmware(), kMainStart + 0x1000 - 4));
}

TEST(UpdateKmt2, RefusesWithoutAFileOrOutsideTheBootLoader) {
    SimulatedDevice device;  // main firmware running
    ASSERT_TRUE(device.start());

    EXPECT_FALSE(Update_KMT2(device.session, QString()));
    EXPECT_EQ(device.logLines(),
              QStringList({"==>Update_KMT2", "Обновление KMT2 не выполнено - нет файла: ERC[0]"}));

    EXPECT_FALSE(Update_KMT2(device.session, demoFirmware()));
    EXPECT_EQ(
        device.logLines().last(),
        QStringLiteral("Обновление KMT2 не выполнено - прибор не в режиме загрузчика: ERC[0]"));
    EXPECT_EQ(cpuFlashRequests(device), 0);
    EXPECT_TRUE(test::flashOperations(device.instrument()).empty());
    EXPECT_TRUE(device.flags.linkCheckEnabled);
}

TEST(UpdateKmt2, AFirmwareThatCannotBePlacedEndsBeforeAnyErase) {
    struct Case {
        const char* what;
        sim::InstrumentConfig config;
        QString logLine;
    };
    sim::InstrumentConfig pastTheEnd = bootLoaderWithRegion(0x1000);
    pastTheEnd.checksumWordAddress = kFlashBase + kFlashSize - 2;
    sim::InstrumentConfig beforeStart = bootLoaderWithRegion(0x1000);
    beforeStart.checksumWordAddress = kMainStart - 0x100;
    sim::InstrumentConfig unknownType;
    unknownType.startMode = InstrumentMode::BootLoader;
    unknownType.processorType = 99;
    const Case cases[] = {
        {"checksum word past the flash", pastTheEnd,
         "Обновление KMT2 не выполнено - область ПО вне флэш-памяти: S=0x08004000 "
         "E=0x0803FFFE: ERC[0]"},
        {"checksum word before the start", beforeStart,
         "Обновление KMT2 не выполнено - область ПО вне флэш-памяти: S=0x08004000 "
         "E=0x08003F00: ERC[0]"},
        {"unlisted processor", unknownType,
         "Обновление KMT2 не выполнено - неизвестный тип процессора 99: ERC[0]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedDevice device(c.config);
        ASSERT_TRUE(device.start());
        EXPECT_FALSE(Update_KMT2(device.session, demoFirmware()));
        EXPECT_EQ(device.logLines().last(), c.logLine);
        EXPECT_EQ(cpuFlashRequests(device), 0);
        EXPECT_TRUE(device.flags.linkCheckEnabled);
        ASSERT_FALSE(device.dialogs.progress.isEmpty());
        EXPECT_EQ(device.dialogs.progress.last(), 0);
    }
}

TEST(UpdateKmt2, RecordErrorsShowTheirBoxAndNothingIsErased) {
    SimulatedDevice device(bootLoaderWithRegion(0x1000));
    ASSERT_TRUE(device.start());
    const QString path =
        test::writeTestFile("broken.hex", ":020000040800F2\r\n:020008000102F4\r\n:00000001FF\r\n");

    EXPECT_FALSE(Update_KMT2(device.session, path));
    const QStringList errors = device.dialogs.textsOf("error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("Ошибка преобразования HEX\n2 [")) << errors[0].toStdString();
    EXPECT_EQ(cpuFlashRequests(device), 0);
    EXPECT_EQ(device.dialogs.statusTexts.last(), QStringLiteral("Загрузка ПО KMT2 [broken.hex]"));
    EXPECT_EQ(device.dialogs.progress.last(), 0);
}

TEST(UpdateKmt2, LostAnswersAreResentAndTheFlashStillMatches) {
    constexpr std::uint32_t kRegion = 0x4000;
    sim::PtyInstrumentOptions options = SimulatedDevice::quickOptions();
    options.faultSeed = 7;  // loses the answers to a write and to one other request
    SimulatedDevice device(bootLoaderWithRegion(kRegion), options);
    ASSERT_TRUE(device.start());
    sim::SimFaults faults;
    faults.dropShare = 0.03;
    device.instrument().setFaults(faults);

    ASSERT_TRUE(Update_KMT2(device.session, demoFirmware()));
    EXPECT_TRUE(processorFlash(device, kMainStart, kRegion) ==
                sealedRegion(demoFirmware(), kMainStart + kRegion - 4));
    const auto refused = device.instrument().withInstrument(
        [](sim::Instrument& instrument) { return instrument.processorFlash().refusedWrites(); });
    EXPECT_FALSE(refused.empty())
        << "some write answer should have been lost, its repeat refused and the chunk read back";
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());
    EXPECT_EQ(device.logLines().last(), QStringLiteral("100% 16Кб "));
}

TEST(UpdateKmt2, AnInstrumentPulledMidWriteFailsAndARerunAfterReplugCompletes) {
    constexpr std::uint32_t kRegion = 0x8000;
    SimulatedDevice device(bootLoaderWithRegion(kRegion));
    ASSERT_TRUE(device.start());
    sim::SimFaults faults;
    faults.unplugAfterBytes = 10000;
    device.instrument().setFaults(faults);

    EXPECT_FALSE(Update_KMT2(device.session, demoFirmware()));
    EXPECT_TRUE(device.flags.linkCheckEnabled);
    EXPECT_EQ(device.logLines().last(), QStringLiteral("Ошибка записи: ERC[0]"));
    EXPECT_TRUE(device.dialogs.textsOf("error").contains("No answer in Flash of CPU Writing"));
    EXPECT_EQ(device.dialogs.textsOf("error").last(),
              PickText("Ошибка во время загрузки программы", "Error in dowloading data to Device"));
    EXPECT_EQ(device.dialogs.progress.last(), 0);

    device.instrument().setFaults({});
    device.instrument().replug();
    ASSERT_TRUE(device.instrument().waitForAppearance(2, 5000));
    device.protocol.close();
    ASSERT_TRUE(device.protocol.open(SimulatedDevice::kBaudRate));

    ASSERT_TRUE(Update_KMT2(device.session, demoFirmware()));
    EXPECT_TRUE(processorFlash(device, kMainStart, kRegion) ==
                sealedRegion(demoFirmware(), kMainStart + kRegion - 4));
}

}  // namespace
}  // namespace verimant
