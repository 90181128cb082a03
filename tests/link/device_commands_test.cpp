#include "link/processor_platform.h"
#include "sim/memory_layout.h"
#include "sim/processor_types.h"
#include "tests/link/device_commands_fixture.h"

#include <array>

namespace verimant {
namespace {

using test::DeviceCommandsTest;
using test::instrumentWith;

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

QByteArray asBytes(const std::uint8_t* data, int length) {
    return QByteArray(reinterpret_cast<const char*>(data), length);
}

const std::uint8_t* bytesOf(const QByteArray& bytes) {
    return reinterpret_cast<const std::uint8_t*>(bytes.constData());
}

TEST_F(DeviceCommandsTest, GeneralCommandRequests) {
    ASSERT_TRUE(commands.readProgramInfo(nullptr, true));
    ParameterRecord language;
    language.id = 6;
    ASSERT_TRUE(commands.readParameter(language, true));
    language.value = 0x01020304;
    ASSERT_TRUE(commands.writeParameter(language));
    EXPECT_EQ(language.value, 0x01020304u);
    ASSERT_TRUE(commands.readBoardInfo(nullptr, true));
    ASSERT_TRUE(commands.resetDevice(DeviceCommands::kResetToBootLoader, true));

    QList<int> nodes;
    const QList<QByteArray> sent = payloadsFrom(0, &nodes);
    const std::uint32_t platform = snapshot().layout().platformDescriptionAddress;
    const auto piece = [](std::uint32_t address) {
        QByteArray payload = hex("0102");
        appendLe32(payload, address);
        return payload + hex("10");
    };
    const QList<QByteArray> expected = {
        hex("0101"),
        hex("010E0600"),
        hex("010F060004030201"),
        // Board information needs the platform description first.
        piece(platform),
        piece(platform + 16),
        piece(platform + 32),
        hex("010A"),
        hex("0105030000000A"),
    };
    ASSERT_EQ(sent.size(), expected.size());
    for (int k = 0; k < sent.size(); ++k) {
        EXPECT_EQ(sent[k].toHex(), expected[k].toHex()) << k;
        EXPECT_EQ(nodes[k], 1) << k;
    }
}

TEST_F(DeviceCommandsTest, FlashRequestsGoOutOnTheirOwnChannels) {
    const std::uint8_t data[3] = {0xC0, 0xDB, 0x00};
    ASSERT_TRUE(commands.eraseEflashSector4K(0x00123000, true));
    ASSERT_TRUE(commands.writeEflash(0x00123000, data, 3, true));
    std::array<std::uint8_t, 16> piece{};
    ASSERT_EQ(commands.readEflash(0x00123000, piece.data(), 3, true), 3);
    EXPECT_EQ(asBytes(piece.data(), 3), hex("C0DB00"));
    // With a main firmware over boot loader 4.16 cached, the CPU flash takes the new pair.
    ASSERT_TRUE(commands.readProgramInfo(nullptr, true));
    ASSERT_TRUE(commands.usesNewCpuFlashVariant());
    const std::uint32_t start = snapshot().layout().mainFirmwareStart;
    ASSERT_EQ(start, 0x08004000u);
    EXPECT_TRUE(commands.eraseCpuFlashSector(start, true));
    EXPECT_TRUE(commands.writeCpuFlash(start, data, 3, true));

    QList<int> nodes;
    const QList<QByteArray> sent = payloadsFrom(0, &nodes);
    ASSERT_EQ(sent.size(), 3 + 1 + 2);
    EXPECT_EQ(sent[0].toHex(), QByteArray("020500301200"));
    EXPECT_EQ(sent[1].toHex(), QByteArray("020300301200") + "03" + "c0db00");
    EXPECT_EQ(sent[2].toHex(), QByteArray("020200301200") + "03");
    EXPECT_EQ(nodes.mid(0, 3), (QList<int>{2, 2, 2}));
    EXPECT_EQ(sent[4].toHex(), QByteArray("030700400008"));
    EXPECT_EQ(sent[5].toHex(), QByteArray("030600400008") + "03" + "c0db00");
    EXPECT_EQ(nodes.mid(4), (QList<int>{3, 3}));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsTest, ScreenTextsAreCutPaddedAndSentInCp1251) {
    ASSERT_TRUE(commands.pcConnection(QStringLiteral("ABCDEFGHIJKLMNOPQRST"), true));
    const int first = peer.requestCount() - 1;  // the platform description came first
    ASSERT_TRUE(commands.pcConnection(QStringLiteral("abc"), true));
    ASSERT_TRUE(commands.pcPrint(QString(), true));
    ASSERT_TRUE(commands.pcPrint(QStringLiteral("{Y60|X67|CB}Запись"), true));
    ASSERT_TRUE(commands.pcPrint(QString(200, QLatin1Char('x')), true));

    const QList<QByteArray> sent = payloadsFrom(first);
    ASSERT_EQ(sent.size(), 5);
    EXPECT_EQ(sent[0], hex("0106") + "ABCDEFGHIJKLM" + QByteArray(1, '\0'));
    EXPECT_EQ(sent[1], hex("0106") + "abc" + QByteArray(11, '\0'));
    EXPECT_EQ(sent[2], hex("010700"));
    EXPECT_EQ(sent[3], hex("0107") + "{Y60|X67|CB}" + hex("C7E0EFE8F1FC00"));
    EXPECT_EQ(sent[4], hex("0107") + QByteArray(125, 'x') + QByteArray(1, '\0'));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsTest, ScreenTextsInTheBootLoader) {
    sim::InstrumentConfig config = instrumentWith(0x0210, 0x0203);
    config.startMode = sim::InstrumentMode::BootLoader;
    use(config);
    EXPECT_FALSE(commands.pcConnection(QStringLiteral("boot"), true));
    EXPECT_EQ(requestsFor(0x01, 0x06), 0) << "refused before sending";
    EXPECT_TRUE(commands.pcPrint(QStringLiteral("boot"), true));

    config.bootVersion = 0x0105;
    use(config);
    DeviceCommands early(protocol);
    EXPECT_FALSE(early.pcPrint(QStringLiteral("boot"), true));
    EXPECT_EQ(requestsFor(0x01, 0x07), 0);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsTest, QueriesReadTheRecordsOnceAndAnswerFromTheCache) {
    sim::InstrumentConfig config = instrumentWith(0x0410, 0x0203, 1);
    config.boardRecordField = 0x08002780;
    use(config);
    const sim::Instrument device = snapshot();
    const sim::MemoryLayout layout = device.layout();

    // Nothing cached: the program information comes first, then the description in three pieces.
    EXPECT_EQ(commands.boardRecordAddress(), 0x080027F0u);
    EXPECT_EQ(requestsFor(0x01, 0x01), 1);
    EXPECT_EQ(requestsFor(0x01, 0x02), 3);
    EXPECT_EQ(commands.platformDescription().toBytes(),
              device.readMemory(layout.platformDescriptionAddress, 48));
    EXPECT_EQ(commands.programInfo().toBytes(), device.programInfo());
    EXPECT_EQ(commands.flashPageSize(), 1024);
    EXPECT_EQ(commands.flashSize(), 64 * 1024);
    EXPECT_EQ(commands.flashBase(), 0x08000000u);
    EXPECT_EQ(commands.uniqueIdAddress(), 0x1FFFF7E8u);
    EXPECT_EQ(commands.mainFirmwareStartAddress(), layout.mainFirmwareStart);
    EXPECT_EQ(commands.checksumWordAddress(), layout.checksumWordAddress);
    EXPECT_FALSE(commands.isSmallPageFamily());
    EXPECT_EQ(requestsFor(0x01, 0x02), 3) << "the cached description is used";

    ProgramInfo info;
    ASSERT_TRUE(commands.readProgramInfo(&info, true));
    EXPECT_EQ(info.toBytes(), device.programInfo());
    // The moved address is where the instrument really keeps its record.
    std::array<std::uint8_t, 16> record{};
    ASSERT_EQ(commands.readMemory(commands.boardRecordAddress(), record.data(), 16, true), 16);
    EXPECT_EQ(record[1], config.boardType);
    EXPECT_EQ(record[2], config.boardVersion);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsTest, ReadMemoryPiecesAndTheirChecks) {
    const sim::Instrument device = snapshot();
    const std::uint32_t start = device.layout().mainFirmwareStart;

    std::array<std::uint8_t, 48> buffer{};
    EXPECT_EQ(commands.readMemory(start, buffer.data(), 48, true), 48);
    EXPECT_EQ(asBytes(buffer.data(), 48), device.readMemory(start, 48));
    // A length that is not a multiple of 16 never asks for more than the buffer holds.
    std::array<std::uint8_t, 21> odd{};
    EXPECT_EQ(commands.readMemory(start, odd.data(), 20, true), 20);
    EXPECT_EQ(odd[20], 0) << "the last piece stays inside the 20 bytes asked for";
    EXPECT_EQ(asBytes(odd.data(), 20), device.readMemory(start, 20));

    // The program information is 8 bytes followed by nothing: a 16-byte piece comes back short, and
    // a short piece must not pass as a full one.
    std::array<std::uint8_t, 16> shortRead{};
    EXPECT_EQ(commands.readMemory(sim::kProgramInfoAddress, shortRead.data(), 16, true), -1);
    EXPECT_EQ(commands.readMemory(sim::kProgramInfoAddress, shortRead.data(), 8, true), 8);
    EXPECT_EQ(commands.readMemory(start, nullptr, 16, true), -1);
    EXPECT_TRUE(dialogs.boxes.isEmpty()) << "wrong answers fail without a box";
}

TEST_F(DeviceCommandsTest, ExternalFlashReadWriteAndErase) {
    const std::uint32_t sector = 0x100000;
    QByteArray data;
    for (int k = 0; k < 128; ++k) {
        data.append(char(k * 7));
    }
    const auto* bytes = bytesOf(data);
    ASSERT_TRUE(commands.eraseEflashSector4K(sector, true));
    ASSERT_TRUE(commands.writeEflash(sector, bytes, 128, true));
    std::array<std::uint8_t, 16> piece{};
    EXPECT_EQ(commands.readEflash(sector + 32, piece.data(), 16, true), 16);
    EXPECT_EQ(asBytes(piece.data(), 16), data.mid(32, 16));

    // Writing over written bytes is refused by the flash; the instrument's echo then carries a
    // length of 0, which the tool must not take as success.
    EXPECT_FALSE(commands.writeEflash(sector, bytes, 16, true));

    const int framesBefore = peer.requestCount();
    const QByteArray tooLong(129, '\x11');
    EXPECT_FALSE(commands.writeEflash(sector + 512, bytesOf(tooLong), 129, true));
    EXPECT_FALSE(commands.writeEflash(sector + 512, nullptr, 16, true));
    EXPECT_EQ(commands.readEflash(sector, piece.data(), 256, true), -1);
    EXPECT_EQ(peer.requestCount(), framesBefore) << "refused before sending";

    // Past the end of the 8 MiB flash the answer holds only the echo: a valid read of 0 bytes.
    EXPECT_EQ(commands.readEflash(0x00800000, piece.data(), 16, true), 0);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsTest, CpuFlashInTheBootLoaderUsesTheOldCommands) {
    sim::InstrumentConfig config = instrumentWith(0x0410, 0x0203);
    config.startMode = sim::InstrumentMode::BootLoader;
    use(config);
    EXPECT_FALSE(commands.usesNewCpuFlashVariant()) << "nothing cached yet";
    ASSERT_TRUE(commands.readProgramInfo(nullptr, true));
    EXPECT_EQ(commands.programInfo().mainVersion, 0);
    EXPECT_FALSE(commands.usesNewCpuFlashVariant());

    const std::uint32_t start = commands.mainFirmwareStartAddress();
    ASSERT_NE(start, 0u);
    const QByteArray data(64, '\x5A');
    ASSERT_TRUE(commands.eraseCpuFlashSector(start, true));
    ASSERT_TRUE(commands.writeCpuFlash(start, bytesOf(data), 64, true));
    EXPECT_EQ(requestsFor(0x03, 0x05), 1);
    EXPECT_EQ(requestsFor(0x03, 0x03), 1);
    EXPECT_EQ(snapshot().processorFlash().read(start, 64), data);
}

TEST_F(DeviceCommandsTest, ResetAsksForTheRequestedMode) {
    const auto pendingRestart = [this] {
        return withDevice([](sim::Instrument& device) {
            const std::optional<sim::InstrumentMode> mode = device.takePendingRestart();
            if (mode) {
                device.restart(*mode);
            }
            return mode;
        });
    };
    ASSERT_TRUE(commands.resetDevice(DeviceCommands::kResetToBootLoader, true));
    EXPECT_EQ(pendingRestart(), sim::InstrumentMode::BootLoader);
    ASSERT_TRUE(commands.resetDevice(DeviceCommands::kResetToMainFirmware, true));
    EXPECT_EQ(pendingRestart(), sim::InstrumentMode::MainFirmware);
}

TEST_F(DeviceCommandsTest, ParametersShortAndLongRecords) {
    sim::InstrumentConfig config;
    config.language = 3;
    config.parameters[40] = -7;
    use(config);

    ParameterRecord record;
    record.id = sim::kLanguageParameterId;
    record.further.fill(0xAA);
    ASSERT_TRUE(commands.readParameter(record, true));
    EXPECT_EQ(record.value, 3u);
    EXPECT_EQ(record.further[0], 0) << "cleared before asking";

    config.longParameterRecords = true;
    use(config);
    ParameterRecord other;
    other.id = 40;
    other.further.fill(0xAA);
    ASSERT_TRUE(commands.readParameter(other, true));
    EXPECT_EQ(std::int32_t(other.value), -7);
    EXPECT_EQ(other.further[15], 0);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsTest, BoardInfoIsReadOnceAndStays) {
    sim::InstrumentConfig config = instrumentWith(0x0410, 0x0203);
    config.boardType = 4;
    config.boardVariant = 47;
    config.boardInfoByte3 = 9;
    use(config);

    BoardInfo info;
    ASSERT_TRUE(commands.readBoardInfo(&info, true));
    EXPECT_EQ(info.toBytes(),
              (BoardInfo{std::uint16_t(sim::boardNumberForType(4)), 47, 9}.toBytes()));
    EXPECT_EQ(commands.boardCode(), sim::boardNumberForType(4));
    EXPECT_EQ(requestsFor(0x01, 0x0A), 1) << "the cached board information is used";
}

TEST_F(DeviceCommandsTest, OldBootLoadersCountAsBoard245WithoutAsking) {
    sim::InstrumentConfig config = instrumentWith(0x03FF, 0x0203);
    config.boardVariant = 47;
    use(config);

    EXPECT_EQ(commands.boardCode(), 245);
    EXPECT_TRUE(commands.hasBoardInfo());
    EXPECT_EQ(commands.boardInfo().variant, 0);
    BoardInfo info{1, 2, 3};
    EXPECT_FALSE(commands.readBoardInfo(&info, true));
    EXPECT_EQ(info.boardCode, 0);
    EXPECT_EQ(requestsFor(0x01, 0x0A), 0);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsTest, ProcessorUidIsReadWhereTheTypeAndBootLoaderKeepIt) {
    const struct {
        std::uint16_t boot;
        int type;
        bool known;
    } rows[] = {{0x0410, 4, true}, {0x0106, 99, true}, {0x0107, 99, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(QString::asprintf("boot %04X type %d", row.boot, row.type).toStdString());
        sim::InstrumentConfig config = instrumentWith(row.boot, 0x0203, row.type);
        config.uid = QByteArray::fromHex("A1A2A3A4A5A6A7A8A9AAABAC");
        use(config);
        DeviceCommands fresh(protocol);
        ASSERT_TRUE(fresh.readPlatformDescription(nullptr, true));
        const int readsBefore = requestsFor(0x01, 0x02);
        ProcessorUid uid;
        uid.fill(0xEE);
        EXPECT_EQ(fresh.readProcessorUid(&uid), row.known);
        EXPECT_EQ(fresh.hasProcessorUid(), row.known);
        EXPECT_EQ(asBytes(uid.data(), 12), row.known ? config.uid : QByteArray(12, '\0'));
        EXPECT_EQ(requestsFor(0x01, 0x02), readsBefore + (row.known ? 1 : 0));
    }
}

}  // namespace
}  // namespace verimant

namespace verimant {
namespace {

// After a swap the page size, firmware start, checksum address and board (which picks the chunk
// size) must be the new instrument's: writing with the old geometry erases the wrong pages.
TEST_F(DeviceCommandsTest, CachedRecordsAreForgottenWhenThePortClosesAndOpensAgain) {
    sim::InstrumentConfig first = instrumentWith(0x0410, 0x0203, 3);
    first.boardCode = 245;
    first.boardVariant = 45;
    use(first);
    ASSERT_EQ(commands.flashPageSize(), 2048);
    ASSERT_EQ(commands.boardCode(), 245);
    ASSERT_EQ(commands.boardInfo().variant, 45);
    ProcessorUid uid{};
    ASSERT_TRUE(commands.readProcessorUid(&uid));

    protocol.close();
    EXPECT_FALSE(commands.hasProgramInfo() || commands.hasPlatformDescription() ||
                 commands.hasBoardInfo() || commands.hasProcessorUid())
        << "a dropped link leaves nothing cached";
    sim::InstrumentConfig second = instrumentWith(0x0410, 0x0203, 9);
    second.boardCode = 274;
    second.boardVariant = 12;
    second.mainFirmwareStart = 0x08002000;
    second.checksumWordAddress = 0x0800FFFC;
    use(second);
    ASSERT_TRUE(protocol.open(230400));

    EXPECT_EQ(commands.flashPageSize(), 128);
    EXPECT_TRUE(commands.isSmallPageFamily());
    EXPECT_EQ(commands.mainFirmwareStartAddress(), 0x08002000u);
    EXPECT_EQ(commands.checksumWordAddress(), 0x0800FFFCu);
    EXPECT_EQ(commands.boardCode(), 274);
    EXPECT_EQ(commands.boardInfo().variant, 12);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

}  // namespace
}  // namespace verimant
