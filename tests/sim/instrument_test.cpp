#include "sim/instrument.h"

#include "tests/sim/request_bytes.h"

#include <gtest/gtest.h>

#include <functional>

namespace verimant::sim {
namespace {

using namespace verimant::sim::test;
using Configure = std::function<void(InstrumentConfig&)>;

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

// The contents of an 01 02 (memory) or 02 02 (external flash) answer, after the echoed request.
QByteArray readPiece(Instrument& instrument, int group, std::uint32_t address, int count) {
    const QByteArray request = readRequest(group, 2, address, count);
    const auto data = ask(instrument, request);
    EXPECT_EQ(data.value_or("<none>").left(5), request.mid(2));
    return data ? data->mid(5) : QByteArray();
}

Instrument configured(const Configure& setUp) {
    InstrumentConfig config;
    if (setUp) {
        setUp(config);
    }
    return Instrument(config);
}

const Configure kBoot = [](InstrumentConfig& c) { c.startMode = InstrumentMode::BootLoader; };

TEST(InstrumentRequests, AnswerGoesBackToTheAskingChannelFromTheInstrument) {
    Instrument instrument;
    const auto answer = instrument.handleFrame(requestBody(command(1, 0) + "Tarvelon", 3));
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, QByteArray("\x00\x03\x00\x01\x41\x00", 6) + "Tarvelon");
}

// The real firmware ignores what it does not take in its present state; the tool then times out.
TEST(InstrumentRequests, RequestsTheInstrumentDoesNotTakeGetNoAnswer) {
    const auto old = [](std::uint16_t boot) {
        return [boot](InstrumentConfig& c) { c.bootVersion = boot; };
    };
    const struct {
        const char* what;
        Configure setUp;
        QByteArray body;
    } rows[] = {
        {"other node", {}, QByteArray("\x00\x02\x00\x01\x01\x00", 6)},
        {"answer bit set", {}, requestBody(command(0x41, 0))},
        {"unknown command", {}, requestBody(command(1, 0x30))},
        {"read without count", {}, requestBody(command(1, 2) + le32(0x08000000))},
        {"board info before boot 0x400", old(0x3FF), requestBody(command(1, 0x0A))},
        {"write unknown parameter", {}, requestBody(command(1, 0x0F) + le16(7) + le32(1))},
        {"parameter in the boot loader", kBoot, requestBody(command(1, 0x0E) + le16(6))},
        {"PC_CONNECTION in the boot loader", kBoot,
         requestBody(command(1, 6) + QByteArray(14, '\0'))},
        {"PC_PRINT before boot 0x200",
         [](InstrumentConfig& c) {
             c.startMode = InstrumentMode::BootLoader;
             c.bootVersion = 0x1FF;
         },
         requestBody(command(1, 7) + "x" + '\0')},
        {"erase beyond 8 MiB", {}, requestBody(command(2, 5) + le32(0x800000))},
        {"write with short data", {}, requestBody(command(2, 3) + le32(0) + char(4) + "ab")},
        {"new CPU write in the boot loader", kBoot,
         requestBody(writeRequest(3, 6, 0x8004000, QByteArray(8, 'n')))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Instrument instrument = configured(row.setUp);
        EXPECT_FALSE(instrument.handleFrame(row.body));
        EXPECT_EQ(instrument.unansweredCount(), instrument.requestCount());
        EXPECT_TRUE(instrument.screenTexts().isEmpty());
        EXPECT_FALSE(instrument.parameter(7));
    }
}

// Identity memory as the tool reads it with 01 02. Processor families, UID places and the
// external-flash contents are read through the tool by the link and device suites.
TEST(InstrumentIdentity, MemoryMapHoldsTheIdentityBlocks) {
    const Configure type2 = [](InstrumentConfig& c) {
        c.processorType = 2;
        c.serial = QStringLiteral("1-23-4567A");
        c.boardType = 1;
        c.boardVersion = 7;
        c.assembling2 = 3;
    };
    const struct {
        const char* what;
        Configure setUp;
        std::uint32_t address;
        int count;
        QByteArray expected;
    } rows[] = {
        {"program info", {}, kProgramInfoAddress, 8, le16(0x410) + le16(0x203) + le32(0x8000200)},
        {"boot loader reports main version 0", kBoot, kProgramInfoAddress, 4,
         le16(0x0410) + le16(0)},
        {"a read stops at the end of a block", {}, kProgramInfoAddress + 4, 16, le32(0x08000200)},
        {"unmapped memory", {}, 0x40000000, 16, {}},
        {"platform description: processor type", type2, 0x08000200, 2, le16(2)},
        {"platform description: record, firmware start, last word of 128 KiB", type2, 0x0800020A,
         12, le32(0x08000280) + le32(0x08004000) + le32(0x0801FFFC)},
        {"board record: type, version, assembling", type2, 0x08000281, 4, "\x01\x07\x01\x03"},
        {"board record: serial digits low nibble first", type2, 0x08000289, 4, "\x21\x43\x65\xA7"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Instrument instrument = configured(row.setUp);
        EXPECT_EQ(readPiece(instrument, 1, row.address, row.count).toHex(), row.expected.toHex());
    }
}

TEST(InstrumentExternalFlash, WritesLandOnlyOnErasedBytesWithinEightMegabytes) {
    Instrument instrument;
    EXPECT_EQ(ask(instrument, writeRequest(2, 3, 0x10000, QByteArray(128, 'a'))),
              le32(0x10000) + char(128));
    EXPECT_EQ(readPiece(instrument, 2, 0x10000, 16), QByteArray(16, 'a'));

    // Writing again without an erase: refused with a written length of 0, and recorded.
    EXPECT_EQ(ask(instrument, writeRequest(2, 3, 0x10040, QByteArray(128, 'b'))),
              le32(0x10040) + char(0));
    ASSERT_EQ(instrument.externalFlash().refusedWrites().size(), 1u);
    EXPECT_EQ(instrument.externalFlash().refusedWrites()[0], (RefusedWrite{0x10040, 128}));
    EXPECT_EQ(readPiece(instrument, 2, 0x10040, 16), QByteArray(16, 'a'));

    // Any address inside the sector erases all of it.
    ASSERT_TRUE(ask(instrument, command(2, 5) + le32(0x10FFF)));
    EXPECT_EQ(instrument.externalFlash().read(0x10000, 4096), QByteArray(4096, char(0xFF)));
    EXPECT_TRUE(ask(instrument, writeRequest(2, 3, 0x10040, QByteArray(128, 'b'))));
    EXPECT_EQ(instrument.flashBytesWritten(), 256);
    EXPECT_EQ(instrument.flashOperations().size(), 3u);

    EXPECT_EQ(ask(instrument, writeRequest(2, 3, 0x7FFFF0, QByteArray(32, 'x'))),
              le32(0x7FFFF0) + char(0));
    EXPECT_EQ(readPiece(instrument, 2, 0x7FFFF8, 16).size(), 8);
}

// Firmware with a smaller answer buffer either cuts a large read short or drops it: both read
// commands, and only reads above the limit.
TEST(InstrumentReadLimits, LargeReadsAreCutShortOrLeftUnanswered) {
    struct Case {
        int answerLimit;
        int silentAbove;
        int asked;
        std::optional<int> answered;  // contents; nothing for no answer
    };
    const Case cases[] = {{-1, -1, 255, 255}, {100, -1, 255, 100}, {100, -1, 100, 100},
                          {100, -1, 16, 16},  {-1, 16, 17, {}},    {-1, 16, 16, 16}};
    for (const int group : {1, 2}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "group " << group << ", " << c.asked << " asked");
            Instrument instrument;
            instrument.setReadLimits(c.answerLimit, c.silentAbove);
            const std::uint32_t address = group == 1 ? 0x08000000 : 0x10000;
            const auto data = ask(instrument, readRequest(group, 2, address, c.asked));
            ASSERT_EQ(data.has_value(), c.answered.has_value());
            if (data) {
                EXPECT_EQ(data->size() - 5, *c.answered);
            }
        }
    }
}

TEST(InstrumentProcessorFlash, CommandVariantFollowsTheReportedVersions) {
    const struct {
        std::uint16_t boot;
        std::uint16_t main;
        bool processorFlashInMainFirmware;
        bool expectsNew;
    } rows[] = {
        {0x0105, 1, true, false},
        {0x0210, 1, true, true},
        {0x0510, 1, true, false},
        {0x0210, 0, true, false},
        // The boot loader reports main version 0, so the tool always uses the old commands
        // there.
        {0x0410, 0x0203, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.boot << " " << row.main);
        InstrumentConfig config;
        config.bootVersion = row.boot;
        config.mainVersion = row.main;
        config.processorFlashInMainFirmware = row.processorFlashInMainFirmware;
        config.startMode = row.processorFlashInMainFirmware ? InstrumentMode::MainFirmware
                                                            : InstrumentMode::BootLoader;
        Instrument instrument(config);
        EXPECT_EQ(instrument.expectsNewCpuFlashVariant(), row.expectsNew);
        const std::uint32_t start = instrument.layout().mainFirmwareStart;
        const int erase = row.expectsNew ? 7 : 5;
        const int write = row.expectsNew ? 6 : 3;
        EXPECT_FALSE(ask(instrument, command(3, 12 - erase) + le32(start)));
        EXPECT_FALSE(ask(instrument, writeRequest(3, 9 - write, start, QByteArray(8, 'x'))));
        ASSERT_TRUE(ask(instrument, command(3, erase) + le32(start)));
        EXPECT_EQ(ask(instrument, writeRequest(3, write, start, QByteArray(8, 'o'))),
                  le32(start) + char(8));
        EXPECT_EQ(readPiece(instrument, 1, start, 8), QByteArray(8, 'o'));
    }

    // The real main firmware ignores every processor-flash command.
    Instrument mainFirmware;
    const std::uint32_t start = mainFirmware.layout().mainFirmwareStart;
    for (int code : {3, 5, 6, 7}) {
        EXPECT_FALSE(ask(mainFirmware, writeRequest(3, code, start, QByteArray(16, 'x')))) << code;
        EXPECT_FALSE(ask(mainFirmware, command(3, code) + le32(start))) << code;
    }
    EXPECT_EQ(mainFirmware.processorFlash().writtenBytes(), 0);
}

TEST(InstrumentProcessorFlash, PagesEraseWholeAndTheBootLoaderProtectsItself) {
    InstrumentConfig config;
    config.startMode = InstrumentMode::BootLoader;
    config.processorType = 5;  // 256-byte pages
    Instrument instrument(config);
    const std::uint32_t start = instrument.layout().mainFirmwareStart;
    ASSERT_TRUE(ask(instrument, writeRequest(3, 3, start + 256, QByteArray(128, 'p'))));
    ASSERT_TRUE(ask(instrument, writeRequest(3, 3, start + 384, QByteArray(128, 'q'))));
    EXPECT_EQ(ask(instrument, writeRequest(3, 3, start + 300, QByteArray(4, 'r'))),
              le32(start + 300) + char(0));
    EXPECT_EQ(instrument.processorFlash().refusedWrites().back(), (RefusedWrite{start + 300, 4}));

    ASSERT_TRUE(ask(instrument, command(3, 5) + le32(start + 256)));
    EXPECT_EQ(readPiece(instrument, 1, start + 256, 255), QByteArray(255, char(0xFF)));

    const std::uint32_t base = instrument.layout().geometry.flashBase;
    EXPECT_FALSE(ask(instrument, command(3, 5) + le32(base)));
    EXPECT_EQ(ask(instrument, writeRequest(3, 3, base + 0x1000, QByteArray(4, 'b'))),
              le32(base + 0x1000) + char(0));
    // The identity blocks in the boot area survive.
    EXPECT_EQ(readPiece(instrument, 1, base + 0x200, 2), le16(5));
}

TEST(InstrumentParameters, ReadAndWriteTheLanguageInTheMainFirmware) {
    InstrumentConfig config;
    config.language = 2;
    config.parameters[9] = -5;
    Instrument instrument(config);
    EXPECT_EQ(ask(instrument, command(1, 0x0E) + le16(6)), le16(6) + le32(2));
    EXPECT_EQ(ask(instrument, command(1, 0x0E) + le16(9)), le16(9) + le32(std::uint32_t(-5)));
    EXPECT_EQ(ask(instrument, command(1, 0x0F) + le16(6) + le32(4)), le16(6) + le32(4));
    EXPECT_EQ(instrument.parameter(6), 4);
}

TEST(InstrumentModes, ResetAnswersFirstAndRestartsIntoTheAskedMode) {
    Instrument instrument;
    EXPECT_TRUE(ask(instrument, command(1, 5) + QByteArray("\x03\x00\x00\x00\x0A", 5)));
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

    Instrument boot(configured(kBoot));  // boot loaders from 0x200 on print, but never connect
    EXPECT_TRUE(ask(boot, command(1, 7) + QByteArray("x") + '\0'));
    EXPECT_EQ(boot.screenTexts(), QStringList{"x"});
}

}  // namespace
}  // namespace verimant::sim
