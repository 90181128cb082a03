#include "device/update_kmt2.h"

#include "base/ui_language.h"
#include "device/firmware_record_file.h"
#include "device/flash_image.h"
#include "tests/device/simulated_device.h"

#include <QFile>

#include <gtest/gtest.h>

namespace verimant {
namespace {

using sim::FlashOperation;
using sim::InstrumentMode;
using test::SimulatedDevice;

constexpr std::uint32_t kFlashBase = 0x08000000;
constexpr std::uint32_t kMainStart = 0x08004000;
constexpr int kFlashSize = 256 * 1024;  // processor type 3
constexpr int kPageSize = 2048;
const QByteArray kTwoByteFirmware = ":020000040800F2\r\n:020008000102F3\r\n:00000001FF\r\n";

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

// The demo firmware's region of `regionSize` bytes as the image code builds and seals it.
QByteArray sealedDemoRegion(std::uint32_t regionSize) {
    QFile file(demoFirmware());
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray image = makeFlashImage(3, kFlashSize);
    auto* bytes = reinterpret_cast<std::uint8_t*>(image.data());
    EXPECT_TRUE(buildImageFromRecords(file.readAll(), {bytes, size_t(image.size())}).ok);
    const auto region =
        firmwareRegion(image.size(), kFlashBase, kMainStart, kMainStart + regionSize - 4);
    if (!region || !sealFirmwareImage(image, *region, 0xFF)) {
        ADD_FAILURE() << "the demo firmware does not seal";
        return {};
    }
    return image.mid(region->start, region->length());
}

QByteArray processorFlash(SimulatedDevice& device, std::uint32_t address, int count) {
    return device.withInstrument([&](sim::Instrument& instrument) {
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
    test::LinkCheckProbe probe(device);

    // Every chunk, so the order of all requests shows; leaving chunks out has its own test.
    ASSERT_TRUE(Update_KMT2(device.session, demoFirmware(), {.verify = false, .writeAll = true}));

    const QByteArray expected = sealedDemoRegion(kRegion);
    EXPECT_TRUE(processorFlash(device, kMainStart, kRegion) == expected);
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());

    // Board 278 on processor type 3: 128-byte requests; each page erased once, right before the
    // first chunk that lands in it.
    const auto operations = device.flashOperations();
    std::uint32_t next = kMainStart;
    int erases = 0;
    for (std::size_t i = 0; i < operations.size(); ++i) {
        const FlashOperation& op = operations[i];
        ASSERT_EQ(op.target, sim::FlashTarget::Processor);
        const bool erase = op.kind == FlashOperation::Kind::Erase;
        EXPECT_EQ(op.address, next);
        if (erase) {
            ++erases;
        } else {
            EXPECT_EQ(op.length, 128);
            EXPECT_EQ(op.address % kPageSize == 0,
                      i > 0 && operations[i - 1].kind == FlashOperation::Kind::Erase)
                << op.address;
            next += std::uint32_t(op.length);
        }
    }
    EXPECT_EQ(next, kMainStart + kRegion);
    EXPECT_EQ(erases, int(kRegion / kPageSize));

    const QStringList lines = device.logLines();
    EXPECT_EQ(lines.mid(0, 7),
              QStringList({"==>Update_KMT2", "==>Device_Is_Booter_Or_KMT2", "BOOT  : 4.16",
                           "KMT2  : 0.0", "#######################################",
                           "# Обновление KMT2", "# FileName: [verimant_kmt2_demo.hex]"}));
    EXPECT_EQ(lines.value(7), QStringLiteral("100% 64Кб ")) << "the progress overwrote its line";
    const QStringList status = device.dialogs.statusTexts;
    ASSERT_GE(status.size(), 3);
    EXPECT_EQ(status[0], QStringLiteral("Загрузка ПО KMT2 [verimant_kmt2_demo.hex]"));
    EXPECT_EQ(status[1], QStringLiteral("Загрузка ПО KMT2 [verimant_kmt2_demo.hex] 0%"));
    EXPECT_EQ(status.last(), QStringLiteral("100% 64Кб "));
    EXPECT_EQ(device.dialogs.progress.mid(device.dialogs.progress.size() - 2),
              QList<int>({100, 0}));

    EXPECT_TRUE(device.flags.linkCheckEnabled);
    EXPECT_GT(probe.samplesBefore(operations.size()), 0);
    EXPECT_EQ(probe.samplesBefore(operations.size(), true), 0)
        << "the link test must stay off while the flash is written";
}

TEST(UpdateKmt2, TwoDataBytesAreSealedWithTheirShiftedSum) {
    // S on a page boundary (image offset 0x4000, a multiple of 8), the checksum word right after
    // two bytes 01 02: 0x01 + (0x02 << 1).
    sim::InstrumentConfig config;
    config.startMode = InstrumentMode::BootLoader;
    config.mainFirmwareStart = kMainStart;
    config.checksumWordAddress = kMainStart + 2;
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());

    const QByteArray file = ":020000040800F2\r\n:024000000102BB\r\n:00000001FF\r\n";
    ASSERT_TRUE(
        Update_KMT2(device.session, test::writeTestFile("two.hex", file), {.verify = false}));
    EXPECT_EQ(processorFlash(device, kMainStart, 6).toHex(), QByteArray("010205000000"));
    EXPECT_EQ(device.logLines().last(), QStringLiteral("100% 0Кб "));
}

void expectNoFlashRequest(SimulatedDevice& device) {
    EXPECT_EQ(cpuFlashRequests(device), 0);
    EXPECT_TRUE(device.flashOperations().empty());
    EXPECT_TRUE(device.flags.linkCheckEnabled);
    EXPECT_TRUE(device.dialogs.progress.isEmpty() || device.dialogs.progress.last() == 0);
}

// Nothing that cannot be written correctly reaches the flash: no erase, no write.
TEST(UpdateKmt2, RefusalsEndBeforeAnyFlashRequest) {
    struct Case {
        const char* what;
        sim::InstrumentConfig config;
        QString path;
        QString reason;
    };
    const sim::InstrumentConfig inBootLoader = bootLoaderWithRegion(0x1000);
    sim::InstrumentConfig pastTheEnd = inBootLoader;
    pastTheEnd.checksumWordAddress = kFlashBase + kFlashSize - 2;
    sim::InstrumentConfig beforeStart = inBootLoader;
    beforeStart.checksumWordAddress = kMainStart - 0x100;
    sim::InstrumentConfig unknownType = inBootLoader;
    unknownType.processorType = 99;
    const QString outside = QStringLiteral("область ПО вне флэш-памяти: S=0x08004000 E=");
    const Case cases[] = {
        {"no file", inBootLoader, QString(), "нет файла"},
        {"main firmware running", {}, demoFirmware(), "прибор не в режиме загрузчика"},
        {"checksum word past the flash", pastTheEnd, demoFirmware(), outside + "0x0803FFFE"},
        {"checksum word before the start", beforeStart, demoFirmware(), outside + "0x08003F00"},
        {"unlisted processor", unknownType, demoFirmware(), "неизвестный тип процессора 99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedDevice device(c.config);
        ASSERT_TRUE(device.start());
        EXPECT_FALSE(Update_KMT2(device.session, c.path));
        EXPECT_EQ(device.log.lastLine(),
                  QStringLiteral("Обновление KMT2 не выполнено - ") + c.reason + ": ERC[0]");
        EXPECT_TRUE(device.dialogs.boxes.isEmpty());
        EXPECT_TRUE(device.dialogs.statusTexts.isEmpty());
        expectNoFlashRequest(device);
    }

    // A record error shows its box, after the status named the file.
    SimulatedDevice device(inBootLoader);
    ASSERT_TRUE(device.start());
    QByteArray broken = kTwoByteFirmware;
    EXPECT_FALSE(
        Update_KMT2(device.session, test::writeTestFile("broken.hex", broken.replace("F3", "F4"))));
    const QStringList errors = device.dialogs.textsOf("error");
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.value(0).startsWith("Ошибка преобразования HEX\n2 ["))
        << errors.value(0).toStdString();
    EXPECT_EQ(device.dialogs.statusTexts,
              QStringList{QStringLiteral("Загрузка ПО KMT2 [broken.hex]")});
    expectNoFlashRequest(device);
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

    ASSERT_TRUE(Update_KMT2(device.session, demoFirmware(), {.verify = false}));
    EXPECT_TRUE(processorFlash(device, kMainStart, kRegion) == sealedDemoRegion(kRegion));
    EXPECT_FALSE(device
                     .withInstrument([](sim::Instrument& instrument) {
                         return instrument.processorFlash().refusedWrites();
                     })
                     .empty())
        << "some write answer should have been lost, its repeat refused and read back";
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());
    EXPECT_EQ(device.logLines().last(), QStringLiteral("100% 16Кб "));
}

TEST(UpdateKmt2, AnInstrumentPulledMidWriteFailsAndARerunAfterReplugCompletes) {
    constexpr std::uint32_t kRegion = 0x8000;
    sim::InstrumentConfig config = bootLoaderWithRegion(kRegion);
    config.boardType = 1;  // board 245 of variant 4x takes 64-byte requests
    config.boardVariant = 45;
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());
    sim::SimFaults faults;
    faults.unplugAfterBytes = 10000;
    device.instrument().setFaults(faults);

    // Every chunk, so the cable goes while the write is still under way.
    EXPECT_FALSE(Update_KMT2(device.session, demoFirmware(), {.writeAll = true}));
    EXPECT_TRUE(device.flags.linkCheckEnabled);
    EXPECT_EQ(device.logLines().last(), QStringLiteral("Ошибка записи: ERC[0]"));
    EXPECT_TRUE(device.dialogs.textsOf("error").contains("No answer in Flash of CPU Writing"));
    EXPECT_EQ(device.dialogs.textsOf("error").last(),
              PickText("Ошибка во время загрузки программы", "Error in dowloading data to Device"));
    EXPECT_EQ(device.dialogs.progress.last(), 0);

    ASSERT_TRUE(device.replugAndReopen());
    ASSERT_TRUE(Update_KMT2(device.session, demoFirmware()));
    EXPECT_TRUE(processorFlash(device, kMainStart, kRegion) == sealedDemoRegion(kRegion));
    for (const FlashOperation& op : device.flashOperations()) {
        if (op.kind == FlashOperation::Kind::Write) {
            EXPECT_EQ(op.length, 64);
        }
    }
}

// A file or a geometry that cannot give a firmware the boot loader should accept is refused
// before the first erase: the instrument keeps the main firmware it has. Which record files the
// reader refuses is proven in firmware_record_errors_test; here one file the reader refuses, one
// that misses the region, and the geometries.
TEST(UpdateKmt2, FilesAndGeometriesThatCannotBeRightEraseNothing) {
    struct Case {
        const char* what;
        std::uint32_t mainStart;
        std::uint32_t regionSize;
        QByteArray file;
        QString refusal;  // the end of the error box, or of the last log line
    };
    const QByteArray demo = [] {
        QFile file(demoFirmware());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    const QString notOnAPage = QStringLiteral("страница 2048: ERC[0]");
    const Case cases[] = {
        {"cut at a line end", kMainStart, 0x4000, demo.left(demo.indexOf(":00000001FF")),
         "{END}-нет записи конца файла"},
        {"data past the checksum word", kMainStart, 0x1000, demo,
         "Данные заходят на слово контрольной суммы"},
        {"start inside a page", kMainStart + 0x10, 0x4000, demo, notOnAPage},
        {"start on the boot loader's page", kFlashBase, 0x8000, demo, notOnAPage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::InstrumentConfig config = bootLoaderWithRegion(c.regionSize);
        config.mainFirmwareStart = c.mainStart;
        config.checksumWordAddress = c.mainStart + c.regionSize - 4;
        SimulatedDevice device(config);
        ASSERT_TRUE(device.start());

        EXPECT_FALSE(Update_KMT2(device.session, test::writeTestFile("refused.hex", c.file)));
        const QStringList boxes = device.dialogs.textsOf("error");
        EXPECT_TRUE((!boxes.isEmpty() && boxes.last().endsWith(c.refusal)) ||
                    device.log.lastLine().endsWith(c.refusal))
            << device.log.lastLine().toStdString();
        expectNoFlashRequest(device);
    }
}

}  // namespace
}  // namespace verimant
