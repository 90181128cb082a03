#include "sim/instrument.h"

#include "tests/sim/request_bytes.h"

#include <gtest/gtest.h>

namespace verimant::sim {
namespace {

using namespace verimant::sim::test;

// Sends a payload from channel 1 and returns the answer's data bytes, checking that the answer
// echoes the command with 0x40 set in the first byte.
std::optional<QByteArray> ask(Instrument& instrument, const QByteArray& payload) {
    const auto answer = instrument.handlePayload(payload);
    if (!answer) {
        return std::nullopt;
    }
    EXPECT_GE(answer->size(), 2);
    EXPECT_EQ(std::uint8_t(answer->at(0)), std::uint8_t(payload[0]) | 0x40);
    EXPECT_EQ(answer->at(1), payload[1]);
    return answer->mid(2);
}

// The memory contents of an 01 02 answer, after checking its address and count echo.
QByteArray readMemory(Instrument& instrument, std::uint32_t address, int count) {
    const auto data = ask(instrument, readRequest(1, 2, address, count));
    EXPECT_TRUE(data.has_value());
    if (!data) {
        return {};
    }
    EXPECT_EQ(readLe32(*data, 0), address);
    EXPECT_EQ(std::uint8_t(data->at(4)), count);
    return data->mid(5);
}

QByteArray readEflash(Instrument& instrument, std::uint32_t address, int count) {
    const auto data = ask(instrument, readRequest(2, 2, address, count));
    EXPECT_TRUE(data.has_value());
    return data ? data->mid(5) : QByteArray();
}

InstrumentConfig bootConfig() {
    InstrumentConfig config;
    config.startMode = InstrumentMode::BootLoader;
    return config;
}

TEST(InstrumentFrames, AnswerGoesBackToTheAskingChannelFromTheInstrument) {
    Instrument instrument;
    const auto answer = instrument.handleFrame(requestBody(command(1, 0) + "Tarvelon", 3));
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, QByteArray("\x00\x03\x00\x01\x41\x00", 6) + "Tarvelon");
}

TEST(InstrumentFrames, IgnoresFramesForOtherNodesAnswersAndUnknownCommands) {
    Instrument instrument;
    EXPECT_FALSE(instrument.handleFrame(QByteArray("\x00\x02\x00\x01\x01\x00", 6)));
    EXPECT_FALSE(instrument.handleFrame(requestBody(command(0x41, 0))));
    EXPECT_FALSE(instrument.handleFrame(requestBody(command(1, 0x30))));
    EXPECT_FALSE(instrument.handleFrame(requestBody(command(4, 1))));
    EXPECT_FALSE(instrument.handleFrame(QByteArray("\x00\x01\x00\x01\x01", 5)));
    EXPECT_EQ(instrument.requestCount(), 3);
    EXPECT_EQ(instrument.unansweredCount(), 3);
}

TEST(InstrumentIdentity, ProgramInfoReportsMainVersionOnlyWhileTheMainFirmwareRuns) {
    Instrument main;
    const auto info = ask(main, command(1, 1));
    ASSERT_TRUE(info);
    ASSERT_EQ(info->size(), 8);
    EXPECT_EQ(readLe16(*info, 0), 0x0410);
    EXPECT_EQ(readLe16(*info, 2), 0x0203);
    EXPECT_EQ(readLe32(*info, 4), 0x08000200u);
    EXPECT_EQ(readMemory(main, kProgramInfoAddress, 8), *info);

    Instrument boot(bootConfig());
    const auto bootInfo = ask(boot, command(1, 1));
    ASSERT_TRUE(bootInfo);
    EXPECT_EQ(readLe16(*bootInfo, 0), 0x0410);
    EXPECT_EQ(readLe16(*bootInfo, 2), 0);
}

TEST(InstrumentIdentity, PlatformDescriptionLocatesBoardRecordAndFirmwareArea) {
    InstrumentConfig config;
    config.processorType = 2;
    Instrument instrument(config);
    QByteArray description;
    for (int piece = 0; piece < 3; ++piece) {
        description += readMemory(instrument, 0x08000200 + 16 * piece, 16);
    }
    ASSERT_EQ(description.size(), 48);
    EXPECT_EQ(readLe16(description, 0), 2);
    EXPECT_EQ(readLe32(description, 10), 0x08000280u);
    EXPECT_EQ(readLe32(description, 14), 0x08004000u);
    EXPECT_EQ(readLe32(description, 18), 0x0801FFFCu);  // last word of 128 KiB
}

TEST(InstrumentIdentity, BoardRecordPacksSerialDigitsLowNibbleFirst) {
    InstrumentConfig config;
    config.serial = QStringLiteral("1-23-4567A");
    config.boardType = 1;
    config.boardVersion = 7;
    config.assembling1 = 1;
    config.assembling2 = 3;
    Instrument instrument(config);
    const QByteArray record = readMemory(instrument, instrument.layout().boardRecordAddress, 16);
    ASSERT_EQ(record.size(), 16);
    EXPECT_EQ(record.mid(1, 4), QByteArray("\x01\x07\x01\x03", 4));
    EXPECT_EQ(record.mid(9, 4), QByteArray("\x21\x43\x65\xA7", 4));
}

TEST(InstrumentIdentity, FirstFamilyRecordFieldPointsTheToolFurtherOn) {
    InstrumentConfig config;
    config.processorType = 1;
    config.boardRecordField = 0x8002780;
    Instrument instrument(config);
    const QByteArray description = readMemory(instrument, 0x08000200, 16);
    EXPECT_EQ(readLe32(description, 10), 0x8002780u);
    EXPECT_EQ(readMemory(instrument, 0x80027F0, 16).at(1), char(config.boardType));
}

TEST(InstrumentIdentity, UidLiesAtTheAddressOfItsProcessorType) {
    InstrumentConfig config;
    config.processorType = 5;
    config.uid = QByteArray::fromHex("A0A1A2A3A4A5A6A7A8A9AAAB");
    Instrument instrument(config);
    EXPECT_EQ(readMemory(instrument, 0x1FF80050, 12), config.uid);
    // Only early boot loaders put it at the first family's address as well.
    EXPECT_TRUE(readMemory(instrument, 0x1FFFF7E8, 12).isEmpty());

    config.bootVersion = 0x0106;
    Instrument early(config);
    EXPECT_EQ(readMemory(early, 0x1FFFF7E8, 12), config.uid);
    EXPECT_EQ(readMemory(early, 0x1FF80050, 12), config.uid);
    EXPECT_EQ(early.layout().checksumWordAddress, 0x800FF7Cu);
}

TEST(InstrumentIdentity, UnmappedMemoryAnswersWithoutContents) {
    Instrument instrument;
    EXPECT_TRUE(readMemory(instrument, 0x40000000, 16).isEmpty());
    // A read running off the end of a block stops there.
    EXPECT_EQ(readMemory(instrument, kProgramInfoAddress + 4, 16).size(), 4);
    EXPECT_FALSE(ask(instrument, command(1, 2) + le32(0x08000000)));  // count missing
}

TEST(InstrumentIdentity, BoardInformationOnlyFromBootLoader0x400On) {
    InstrumentConfig config;
    config.boardType = 4;
    config.boardVariant = 45;
    config.boardInfoByte3 = 9;
    Instrument instrument(config);
    const auto info = ask(instrument, command(1, 0x0A));
    ASSERT_TRUE(info);
    EXPECT_EQ(*info, le16(274) + char(45) + char(9));

    config.bootVersion = 0x3FF;
    Instrument old(config);
    EXPECT_FALSE(ask(old, command(1, 0x0A)));
}

TEST(InstrumentExternalFlash, VersionDirectoryEntryLocatesTheVersionText) {
    InstrumentConfig config;
    config.eflVersionText = "V2.17";
    Instrument instrument(config);
    const QByteArray entry = readEflash(instrument, kEflVersionEntryAddress, 16);
    ASSERT_EQ(entry.size(), 16);
    const std::uint32_t sector = readLe16(entry, 2);
    const std::uint32_t length = readLe32(entry, 6);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(readEflash(instrument, sector * 4096 + 64, int(length)), QByteArray("V2.17"));
}

TEST(InstrumentExternalFlash, SettingsSectorsHoldTwoValidCopiesWithTheLanguage) {
    InstrumentConfig config;
    config.language = 3;
    Instrument instrument(config);
    for (int copy = 0; copy < 2; ++copy) {
        QByteArray block;
        for (int piece = 0; piece < 16; ++piece) {
            block += readEflash(instrument, kSettingsCopyAddress[copy] + 16 * piece, 16);
        }
        const SettingsValues values = settingsFromBytes(block);
        EXPECT_TRUE(settingsValid(values)) << copy;
        EXPECT_EQ(values[6], 3);
        EXPECT_EQ(values[20], 100);
    }

    config.settingsStart = SettingsStart::Copy0Bad;
    Instrument damaged(config);
    EXPECT_FALSE(settingsValid(damaged.settingsCopy(0)));
    EXPECT_TRUE(settingsValid(damaged.settingsCopy(1)));

    config.settingsStart = SettingsStart::Erased;
    Instrument erased(config);
    EXPECT_EQ(erased.externalFlash().read(0x7FE000, 8192), QByteArray(8192, char(0xFF)));
}

TEST(InstrumentExternalFlash, WritesLandOnlyOnErasedBytes) {
    Instrument instrument;
    const QByteArray data(128, 'a');
    const auto first = ask(instrument, writeRequest(2, 3, 0x10000, data));
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, le32(0x10000) + char(128));
    EXPECT_EQ(readEflash(instrument, 0x10000, 16), QByteArray(16, 'a'));

    // Writing again without an erase: refused with a written length of 0, and recorded.
    const auto again = ask(instrument, writeRequest(2, 3, 0x10040, QByteArray(128, 'b')));
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, le32(0x10040) + char(0));
    ASSERT_EQ(instrument.externalFlash().refusedWrites().size(), 1u);
    EXPECT_EQ(instrument.externalFlash().refusedWrites()[0], (RefusedWrite{0x10040, 128}));
    EXPECT_EQ(readEflash(instrument, 0x10040, 16), QByteArray(16, 'a'));

    // Any address inside the sector erases all of it.
    ASSERT_TRUE(ask(instrument, command(2, 5) + le32(0x10FFF)));
    EXPECT_EQ(instrument.externalFlash().read(0x10000, 4096), QByteArray(4096, char(0xFF)));
    EXPECT_TRUE(ask(instrument, writeRequest(2, 3, 0x10040, QByteArray(128, 'b'))));
    EXPECT_EQ(instrument.flashBytesWritten(), 256);
    EXPECT_EQ(instrument.flashOperations().size(), 3u);
}

TEST(InstrumentExternalFlash, RefusesRequestsBeyondEightMegabytes) {
    Instrument instrument;
    EXPECT_FALSE(ask(instrument, command(2, 5) + le32(0x800000)));
    const auto write = ask(instrument, writeRequest(2, 3, 0x7FFFF0, QByteArray(32, 'x')));
    ASSERT_TRUE(write);
    EXPECT_EQ(write->at(4), 0);
    EXPECT_EQ(readEflash(instrument, 0x7FFFF8, 16).size(), 8);
    EXPECT_FALSE(ask(instrument, command(2, 3) + le32(0) + char(4) + "ab"));  // short data
}

TEST(InstrumentProcessorFlash, VariantRuleFollowsTheReportedVersions) {
    const auto expectsNew = [](std::uint16_t boot, std::uint16_t main, InstrumentMode mode) {
        InstrumentConfig config;
        config.bootVersion = boot;
        config.mainVersion = main;
        config.startMode = mode;
        return Instrument(config).expectsNewCpuFlashVariant();
    };
    EXPECT_FALSE(expectsNew(0x0105, 1, InstrumentMode::MainFirmware));
    EXPECT_TRUE(expectsNew(0x0210, 1, InstrumentMode::MainFirmware));
    EXPECT_FALSE(expectsNew(0x0510, 1, InstrumentMode::MainFirmware));
    EXPECT_FALSE(expectsNew(0x0210, 0, InstrumentMode::MainFirmware));
    // The boot loader reports main version 0, so the tool always uses the old commands with it.
    EXPECT_FALSE(expectsNew(0x0410, 0x0203, InstrumentMode::BootLoader));
}

TEST(InstrumentProcessorFlash, BootLoaderTakesTheOldVariantOnly) {
    Instrument instrument(bootConfig());
    const std::uint32_t start = instrument.layout().mainFirmwareStart;
    EXPECT_FALSE(ask(instrument, command(3, 7) + le32(start)));
    EXPECT_FALSE(ask(instrument, writeRequest(3, 6, start, QByteArray(64, 'n'))));
    ASSERT_TRUE(ask(instrument, command(3, 5) + le32(start)));
    const auto written = ask(instrument, writeRequest(3, 3, start, QByteArray(64, 'o')));
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, le32(start) + char(64));
    EXPECT_EQ(readMemory(instrument, start, 16), QByteArray(16, 'o'));
}

TEST(InstrumentProcessorFlash, MainFirmwareIgnoresProcessorFlashCommands) {
    Instrument instrument;
    const std::uint32_t start = instrument.layout().mainFirmwareStart;
    for (int code : {3, 5, 6, 7}) {
        EXPECT_FALSE(ask(instrument, writeRequest(3, code, start, QByteArray(16, 'x')))) << code;
        EXPECT_FALSE(ask(instrument, command(3, code) + le32(start))) << code;
    }
    EXPECT_EQ(instrument.processorFlash().writtenBytes(), 0);
}

TEST(InstrumentProcessorFlash, CommandLevelHookLetsTheMainFirmwareTakeTheNewVariant) {
    InstrumentConfig config;
    config.bootVersion = 0x0210;
    config.mainVersion = 1;
    config.processorFlashInMainFirmware = true;
    Instrument instrument(config);
    const std::uint32_t start = instrument.layout().mainFirmwareStart;
    EXPECT_FALSE(ask(instrument, command(3, 5) + le32(start)));
    EXPECT_TRUE(ask(instrument, command(3, 7) + le32(start)));
    EXPECT_FALSE(ask(instrument, writeRequest(3, 3, start, QByteArray(8, 'o'))));
    EXPECT_EQ(ask(instrument, writeRequest(3, 6, start, QByteArray(8, 'n'))),
              le32(start) + char(8));
}

TEST(InstrumentProcessorFlash, PagesEraseWholeAndTheBootLoaderProtectsItself) {
    InstrumentConfig config = bootConfig();
    config.processorType = 5;  // 256-byte pages
    Instrument instrument(config);
    const std::uint32_t start = instrument.layout().mainFirmwareStart;
    ASSERT_TRUE(ask(instrument, writeRequest(3, 3, start + 256, QByteArray(128, 'p'))));
    ASSERT_TRUE(ask(instrument, writeRequest(3, 3, start + 384, QByteArray(128, 'q'))));
    const auto refused = ask(instrument, writeRequest(3, 3, start + 300, QByteArray(4, 'r')));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->at(4), 0);
    EXPECT_EQ(instrument.processorFlash().refusedWrites().back(), (RefusedWrite{start + 300, 4}));

    ASSERT_TRUE(ask(instrument, command(3, 5) + le32(start + 256)));
    EXPECT_EQ(readMemory(instrument, start + 256, 255), QByteArray(255, char(0xFF)));

    const std::uint32_t base = instrument.layout().geometry.flashBase;
    EXPECT_FALSE(ask(instrument, command(3, 5) + le32(base)));
    const auto bootWrite = ask(instrument, writeRequest(3, 3, base + 0x1000, QByteArray(4, 'b')));
    ASSERT_TRUE(bootWrite);
    EXPECT_EQ(bootWrite->at(4), 0);
    // The identity blocks in the boot area survive.
    EXPECT_EQ(readLe16(readMemory(instrument, base + 0x200, 2), 0), 5);
}

TEST(InstrumentParameters, ReadAndWriteTheLanguageInTheMainFirmware) {
    InstrumentConfig config;
    config.language = 2;
    config.parameters[9] = -5;
    Instrument instrument(config);
    EXPECT_EQ(ask(instrument, command(1, 0x0E) + le16(6)), le16(6) + le32(2));
    EXPECT_EQ(ask(instrument, command(1, 0x0E) + le16(9)), le16(9) + le32(std::uint32_t(-5)));
    EXPECT_FALSE(ask(instrument, command(1, 0x0E) + le16(7)));

    EXPECT_EQ(ask(instrument, command(1, 0x0F) + le16(6) + le32(4)), le16(6) + le32(4));
    EXPECT_EQ(instrument.parameter(6), 4);
    EXPECT_FALSE(ask(instrument, command(1, 0x0F) + le16(7) + le32(1)));
    EXPECT_FALSE(instrument.parameter(7));

    config.longParameterRecords = true;
    Instrument longRecords(config);
    const auto record = ask(longRecords, command(1, 0x0E) + le16(6));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->size(), 22);

    Instrument boot(bootConfig());
    EXPECT_FALSE(ask(boot, command(1, 0x0E) + le16(6)));
}

TEST(InstrumentModes, ResetAnswersFirstAndRestartsIntoTheAskedMode) {
    Instrument instrument;
    const QByteArray toBoot = command(1, 5) + QByteArray("\x03\x00\x00\x00\x0A", 5);
    EXPECT_TRUE(ask(instrument, toBoot));
    EXPECT_EQ(instrument.mode(), InstrumentMode::MainFirmware);
    EXPECT_EQ(instrument.takePendingRestart(), InstrumentMode::BootLoader);
    EXPECT_FALSE(instrument.takePendingRestart());
    instrument.restart(InstrumentMode::BootLoader);
    EXPECT_EQ(readLe16(*ask(instrument, command(1, 1)), 2), 0);

    EXPECT_TRUE(ask(instrument, command(1, 5) + QByteArray("\x02\x00\x00\x00\x0A", 5)));
    EXPECT_EQ(instrument.takePendingRestart(), InstrumentMode::MainFirmware);
}

TEST(InstrumentScreen, TextsAreKeptInOrderWithoutTheirZeros) {
    Instrument instrument;
    EXPECT_TRUE(ask(instrument, command(1, 6) + QByteArray("COM 3") + QByteArray(9, '\0')));
    EXPECT_TRUE(ask(instrument, command(1, 7) + QByteArray("{Y5|AS|*}PC CONNECTED") + '\0'));
    EXPECT_TRUE(ask(instrument, command(1, 7) + QByteArray("\xCF\xF0\xE8", 3) + '\0'));
    EXPECT_EQ(instrument.screenTexts(),
              QStringList({"COM 3", "{Y5|AS|*}PC CONNECTED", QString::fromUtf8("При")}));
    EXPECT_EQ(instrument.screenTextBytes().at(2), QByteArray("\xCF\xF0\xE8", 3));
}

TEST(InstrumentScreen, BootLoaderPrintsOnlyFrom0x200AndNeverConnects) {
    InstrumentConfig config = bootConfig();
    Instrument boot(config);
    EXPECT_FALSE(ask(boot, command(1, 6) + QByteArray(14, '\0')));
    EXPECT_TRUE(ask(boot, command(1, 7) + QByteArray("x") + '\0'));

    config.bootVersion = 0x1FF;
    Instrument old(config);
    EXPECT_FALSE(ask(old, command(1, 7) + QByteArray("x") + '\0'));
    EXPECT_TRUE(old.screenTexts().isEmpty());
}

}  // namespace
}  // namespace verimant::sim
