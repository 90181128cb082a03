#include "link/processor_platform.h"
#include "sim/memory_layout.h"
#include "sim/processor_types.h"
#include "tests/link/device_commands_fixture.h"

#include <array>

namespace verimant {
namespace {

using test::DeviceCommandsSimTest;
using test::instrumentWith;

QByteArray asBytes(const std::uint8_t* data, int length) {
    return QByteArray(reinterpret_cast<const char*>(data), length);
}

TEST_F(DeviceCommandsSimTest, ProgramInfoAndPlatformDescriptionAreReadAndCached) {
    startInstrument(instrumentWith(0x0410, 0x0203));
    const sim::MemoryLayout layout = instrument->snapshot().layout();

    // The description needs the program information first and fetches it by itself.
    PlatformDescription description;
    ASSERT_TRUE(commands.readPlatformDescription(&description, true));
    EXPECT_EQ(requestsFor(0x01, 0x01), 1);
    EXPECT_EQ(requestsFor(0x01, 0x02), 3) << "48 bytes go as three pieces of 16";
    EXPECT_EQ(description.toBytes(),
              instrument->snapshot().readMemory(layout.platformDescriptionAddress, 48));
    EXPECT_TRUE(commands.hasProgramInfo());
    EXPECT_TRUE(commands.hasPlatformDescription());
    EXPECT_EQ(commands.programInfo().bootVersion, 0x0410);
    EXPECT_EQ(commands.programInfo().mainVersion, 0x0203);
    EXPECT_EQ(commands.programInfo().platformDescriptionAddress, layout.platformDescriptionAddress);

    ProgramInfo info;
    ASSERT_TRUE(commands.readProgramInfo(&info, true));
    EXPECT_EQ(info.toBytes(), instrument->snapshot().programInfo());

    // The queries answer from the cache without asking again.
    EXPECT_EQ(commands.flashPageSize(), 2048);
    EXPECT_EQ(commands.flashSize(), 256 * 1024);
    EXPECT_EQ(commands.flashBase(), 0x08000000u);
    EXPECT_EQ(commands.uniqueIdAddress(), 0x1FFF7590u);
    EXPECT_EQ(commands.mainFirmwareStartAddress(), layout.mainFirmwareStart);
    EXPECT_EQ(commands.checksumWordAddress(), layout.checksumWordAddress);
    EXPECT_EQ(commands.boardRecordAddress(), layout.boardRecordAddress);
    EXPECT_FALSE(commands.isSmallPageFamily());
    EXPECT_EQ(requestsFor(0x01, 0x02), 3);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsSimTest, QueriesReadTheDescriptionWhenNoneIsCached) {
    sim::InstrumentConfig config = instrumentWith(0x0410, 0x0203, 1);
    config.boardRecordField = 0x08002780;
    startInstrument(config);

    EXPECT_EQ(commands.boardRecordAddress(), 0x080027F0u);
    EXPECT_EQ(requestsFor(0x01, 0x01), 1);
    EXPECT_EQ(requestsFor(0x01, 0x02), 3);

    // The moved address is where the instrument really keeps its record.
    std::array<std::uint8_t, 16> record{};
    ASSERT_EQ(commands.readMemory(commands.boardRecordAddress(), record.data(), 16, true), 16);
    EXPECT_EQ(record[1], config.boardType);
    EXPECT_EQ(record[2], config.boardVersion);
    EXPECT_EQ(asBytes(&record[9], 4), QByteArray::fromHex("21436587"));
}

TEST_F(DeviceCommandsSimTest, ReadMemoryPiecesAndTheirChecks) {
    startInstrument();
    const sim::Instrument device = instrument->snapshot();
    const std::uint32_t start = device.layout().mainFirmwareStart;

    std::array<std::uint8_t, 48> buffer{};
    EXPECT_EQ(commands.readMemory(start, buffer.data(), 48, true), 48);
    EXPECT_EQ(requestsFor(0x01, 0x02), 3);
    EXPECT_EQ(asBytes(buffer.data(), 48), device.readMemory(start, 48));

    // A length that is not a multiple of 16 never asks for more than the buffer holds.
    std::array<std::uint8_t, 21> odd{};
    EXPECT_EQ(commands.readMemory(device.layout().platformDescriptionAddress, odd.data(), 20, true),
              20);
    EXPECT_EQ(odd[20], 0) << "the last piece stays inside the 20 bytes asked for";
    EXPECT_EQ(asBytes(odd.data(), 20),
              device.readMemory(device.layout().platformDescriptionAddress, 20));

    // The program information is 8 bytes followed by nothing: a 16-byte piece comes back short,
    // and a short piece must not pass as a full one.
    std::array<std::uint8_t, 16> shortRead{};
    EXPECT_EQ(commands.readMemory(sim::kProgramInfoAddress, shortRead.data(), 16, true), -1);
    EXPECT_EQ(commands.readMemory(sim::kProgramInfoAddress, shortRead.data(), 8, true), 8);
    EXPECT_EQ(asBytes(shortRead.data(), 8), device.programInfo());

    EXPECT_EQ(commands.readMemory(start, nullptr, 16, true), -1);
    EXPECT_TRUE(dialogs.boxes.isEmpty()) << "wrong answers fail without a box";
}

TEST_F(DeviceCommandsSimTest, ExternalFlashReadWriteAndErase) {
    startInstrument();
    const std::uint32_t sector = 0x100000;
    QByteArray data;
    for (int k = 0; k < 128; ++k) {
        data.append(char(k * 7));
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData());

    ASSERT_TRUE(commands.eraseEflashSector4K(sector, true));
    ASSERT_TRUE(commands.writeEflash(sector, bytes, 128, true));
    std::array<std::uint8_t, 16> piece{};
    EXPECT_EQ(commands.readEflash(sector + 32, piece.data(), 16, true), 16);
    EXPECT_EQ(asBytes(piece.data(), 16), data.mid(32, 16));

    // Writing over written bytes is refused by the flash; the instrument's echo then carries a
    // length of 0, which the tool must not take as success.
    EXPECT_FALSE(commands.writeEflash(sector, bytes, 16, true));

    const int writesBefore = requestsFor(0x02, 0x03);
    const int framesBefore = instrument->framesReceived();
    const QByteArray tooLong(129, '\x11');
    EXPECT_FALSE(commands.writeEflash(
        sector + 512, reinterpret_cast<const std::uint8_t*>(tooLong.constData()), 129, true));
    EXPECT_FALSE(commands.writeEflash(sector + 512, nullptr, 16, true));
    EXPECT_EQ(requestsFor(0x02, 0x03), writesBefore);
    EXPECT_EQ(instrument->framesReceived(), framesBefore);

    // Past the end of the 8 MiB flash the answer holds only the echo: a valid read of 0 bytes.
    EXPECT_EQ(commands.readEflash(0x00800000, piece.data(), 16, true), 0);
    EXPECT_EQ(commands.readEflash(sector, piece.data(), 256, true), -1);

    const auto operations = instrument->snapshot().flashOperations();
    ASSERT_EQ(operations.size(), 2u);
    EXPECT_EQ(operations[0], (sim::FlashOperation{sim::FlashOperation::Kind::Erase,
                                                  sim::FlashTarget::External, sector, 0}));
    EXPECT_EQ(operations[1], (sim::FlashOperation{sim::FlashOperation::Kind::Write,
                                                  sim::FlashTarget::External, sector, 128}));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsSimTest, CpuFlashInTheBootLoaderUsesTheOldCommands) {
    sim::InstrumentConfig config = instrumentWith(0x0410, 0x0203);
    config.startMode = sim::InstrumentMode::BootLoader;
    startInstrument(config);
    EXPECT_FALSE(commands.usesNewCpuFlashVariant()) << "nothing cached yet";
    ASSERT_TRUE(commands.readProgramInfo(nullptr, true));
    EXPECT_EQ(commands.programInfo().mainVersion, 0);
    EXPECT_FALSE(commands.usesNewCpuFlashVariant());

    const std::uint32_t start = commands.mainFirmwareStartAddress();
    ASSERT_NE(start, 0u);
    const QByteArray data(64, '\x5A');
    ASSERT_TRUE(commands.eraseCpuFlashSector(start, true));
    ASSERT_TRUE(commands.writeCpuFlash(
        start, reinterpret_cast<const std::uint8_t*>(data.constData()), 64, true));
    EXPECT_EQ(requestsFor(0x03, 0x05), 1);
    EXPECT_EQ(requestsFor(0x03, 0x03), 1);
    EXPECT_EQ(instrument->snapshot().processorFlash().read(start, 64), data);
}

TEST_F(DeviceCommandsSimTest, CpuFlashVariantFollowsTheCachedProgramInfo) {
    struct Case {
        std::uint16_t boot;
        std::uint16_t main;
        bool expectNew;
    };
    const QByteArray data(16, '\x42');
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData());
    for (const Case& c : {Case{0x0105, 1, false}, Case{0x0210, 1, true}, Case{0x0510, 1, false},
                          Case{0x0610, 1, true}, Case{0x0210, 0, false}}) {
        SCOPED_TRACE(QString::asprintf("boot %04X main %d", c.boot, c.main).toStdString());
        sim::InstrumentConfig config = instrumentWith(c.boot, c.main);
        // The simulated main firmware then takes exactly the pair its versions call for.
        config.processorFlashInMainFirmware = true;
        startInstrument(config);
        DeviceCommands fresh(protocol);
        ASSERT_TRUE(fresh.readProgramInfo(nullptr, false));
        EXPECT_EQ(fresh.usesNewCpuFlashVariant(), c.expectNew);

        const std::uint32_t start = fresh.mainFirmwareStartAddress();
        EXPECT_TRUE(fresh.eraseCpuFlashSector(start, false));
        EXPECT_TRUE(fresh.writeCpuFlash(start, bytes, 16, false));
        EXPECT_EQ(requestsFor(0x03, 0x07), c.expectNew ? 1 : 0);
        EXPECT_EQ(requestsFor(0x03, 0x06), c.expectNew ? 1 : 0);
        EXPECT_EQ(requestsFor(0x03, 0x05), c.expectNew ? 0 : 1);
        EXPECT_EQ(requestsFor(0x03, 0x03), c.expectNew ? 0 : 1);
        EXPECT_EQ(instrument->snapshot().processorFlash().read(start, 16), data);
        protocol.close();
        instrument->stop();
    }
}

TEST_F(DeviceCommandsSimTest, ResetRestartsInTheRequestedMode) {
    startInstrument();
    ASSERT_TRUE(commands.resetDevice(DeviceCommands::kResetToBootLoader, true));
    EXPECT_EQ(requestsFor(0x01, 0x05), 1);
    ASSERT_TRUE(instrument->waitForAppearance(2, 5000));
    EXPECT_EQ(instrument->snapshot().mode(), sim::InstrumentMode::BootLoader);

    protocol.close();
    ASSERT_TRUE(protocol.open(230400));
    ASSERT_TRUE(commands.resetDevice(DeviceCommands::kResetToMainFirmware, true));
    ASSERT_TRUE(instrument->waitForAppearance(3, 5000));
    EXPECT_EQ(instrument->snapshot().mode(), sim::InstrumentMode::MainFirmware);
}

TEST_F(DeviceCommandsSimTest, ParametersShortAndLongRecords) {
    sim::InstrumentConfig config;
    config.language = 3;
    config.parameters[40] = -7;
    startInstrument(config);

    ParameterRecord record;
    record.id = sim::kLanguageParameterId;
    record.value = 99;
    record.further.fill(0xAA);
    ASSERT_TRUE(commands.readParameter(record, true));
    EXPECT_EQ(record.id, sim::kLanguageParameterId);
    EXPECT_EQ(record.value, 3u);
    EXPECT_EQ(record.further[0], 0) << "cleared before asking";

    record.value = 2;
    ASSERT_TRUE(commands.writeParameter(record));
    EXPECT_EQ(record.value, 2u);
    EXPECT_EQ(instrument->snapshot().parameter(sim::kLanguageParameterId), 2);

    protocol.close();
    instrument->stop();
    config.longParameterRecords = true;
    startInstrument(config);
    ParameterRecord other;
    other.id = 40;
    other.further.fill(0xAA);
    ASSERT_TRUE(commands.readParameter(other, true));
    EXPECT_EQ(std::int32_t(other.value), -7);
    EXPECT_EQ(other.further[15], 0);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsSimTest, BoardInfoIsReadOnceAndStays) {
    sim::InstrumentConfig config = instrumentWith(0x0410, 0x0203);
    config.boardType = 4;
    config.boardVariant = 47;
    config.boardInfoByte3 = 9;
    startInstrument(config);

    BoardInfo info;
    ASSERT_TRUE(commands.readBoardInfo(&info, true));
    EXPECT_EQ(info.boardCode, sim::boardNumberForType(4));
    EXPECT_EQ(info.variant, 47);
    EXPECT_EQ(info.reserved, 9);
    EXPECT_EQ(info.variantTensDigit(), 4);
    EXPECT_EQ(commands.boardCode(), sim::boardNumberForType(4));
    EXPECT_EQ(requestsFor(0x01, 0x0A), 1) << "the cached board information is used";
}

TEST_F(DeviceCommandsSimTest, OldBootLoadersCountAsBoard245WithoutAsking) {
    sim::InstrumentConfig config = instrumentWith(0x03FF, 0x0203);
    config.boardVariant = 47;
    startInstrument(config);

    EXPECT_EQ(commands.boardCode(), 245);
    EXPECT_TRUE(commands.hasBoardInfo());
    EXPECT_EQ(commands.boardInfo().variant, 0);
    BoardInfo info{1, 2, 3};
    EXPECT_FALSE(commands.readBoardInfo(&info, true));
    EXPECT_EQ(info.boardCode, 0);
    EXPECT_EQ(requestsFor(0x01, 0x0A), 0);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsSimTest, ProcessorUidFromTheTypesAddress) {
    sim::InstrumentConfig config = instrumentWith(0x0410, 0x0203, 4);
    config.uid = QByteArray::fromHex("A1A2A3A4A5A6A7A8A9AAABAC");
    startInstrument(config);
    ProcessorUid uid{};
    ASSERT_TRUE(commands.readProcessorUid(&uid));
    EXPECT_EQ(asBytes(uid.data(), 12), config.uid);
    EXPECT_TRUE(commands.hasProcessorUid());
    EXPECT_EQ(commands.processorUid(), uid);
}

TEST_F(DeviceCommandsSimTest, EarlyBootLoaderKeepsTheUidAtTheFirstFamilysAddress) {
    sim::InstrumentConfig config = instrumentWith(0x0106, 0x0203, 99);
    startInstrument(config);
    EXPECT_EQ(commands.uniqueIdAddress(), 0x1FFFF7E8u);
    EXPECT_EQ(commands.checksumWordAddress(), 0x0800FF7Cu);
    ProcessorUid uid{};
    ASSERT_TRUE(commands.readProcessorUid(&uid));
    EXPECT_EQ(asBytes(uid.data(), 12), config.uid);
}

TEST_F(DeviceCommandsSimTest, UnknownProcessorHasNoUidToRead) {
    startInstrument(instrumentWith(0x0107, 0x0203, 99));
    ProcessorUid uid;
    uid.fill(0xEE);
    const int readsBefore = requestsFor(0x01, 0x02);
    ASSERT_TRUE(commands.readPlatformDescription(nullptr, true));
    EXPECT_FALSE(commands.readProcessorUid(&uid));
    EXPECT_EQ(uid, ProcessorUid{});
    EXPECT_FALSE(commands.hasProcessorUid());
    EXPECT_EQ(requestsFor(0x01, 0x02), readsBefore + 3) << "only the description was read";
    EXPECT_EQ(commands.flashPageSize(), 0);
    EXPECT_TRUE(commands.isSmallPageFamily());
    EXPECT_EQ(commands.mainFirmwareStartAddress(), 0u);
}

TEST_F(DeviceCommandsSimTest, ScreenTextsAreCutAndSentInCp1251) {
    startInstrument();
    ASSERT_TRUE(commands.pcConnection(QStringLiteral("ABCDEFGHIJKLMNOPQRST"), true));
    ASSERT_TRUE(commands.pcConnection(QStringLiteral("abc"), true));
    ASSERT_TRUE(commands.pcPrint(QString(), true));
    ASSERT_TRUE(commands.pcPrint(QStringLiteral("{Y60|X67|CB}Запись"), true));
    ASSERT_TRUE(commands.pcPrint(QString(200, QLatin1Char('x')), true));

    const sim::Instrument device = instrument->snapshot();
    const QList<QByteArray> sent = device.screenTextBytes();
    ASSERT_EQ(sent.size(), 5);
    EXPECT_EQ(sent[0], QByteArray("ABCDEFGHIJKLM"));
    EXPECT_EQ(sent[1], QByteArray("abc"));
    EXPECT_EQ(sent[2], QByteArray());
    EXPECT_EQ(sent[3], QByteArray("{Y60|X67|CB}\xC7\xE0\xEF\xE8\xF1\xFC"));
    EXPECT_EQ(sent[4], QByteArray(125, 'x'));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsSimTest, ScreenTextsInTheBootLoader) {
    sim::InstrumentConfig config = instrumentWith(0x0210, 0x0203);
    config.startMode = sim::InstrumentMode::BootLoader;
    startInstrument(config);
    EXPECT_FALSE(commands.pcConnection(QStringLiteral("boot"), true));
    EXPECT_EQ(requestsFor(0x01, 0x06), 0) << "refused before sending";
    EXPECT_TRUE(commands.pcPrint(QStringLiteral("boot"), true));

    protocol.close();
    instrument->stop();
    config.bootVersion = 0x0105;
    startInstrument(config);
    DeviceCommands early(protocol);
    EXPECT_FALSE(early.pcPrint(QStringLiteral("boot"), true));
    EXPECT_EQ(requestsFor(0x01, 0x07), 0);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

}  // namespace
}  // namespace verimant
