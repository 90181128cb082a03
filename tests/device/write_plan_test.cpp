#include "device/write_plan.h"
#include "device/efl_screen_texts.h"
#include "device/efl_write_order.h"

#include <gtest/gtest.h>

#include <vector>

namespace verimant {
namespace {

using Chunks = std::vector<std::pair<std::uint32_t, int>>;

Chunks chunksOf(std::uint32_t start, qsizetype total, int chunkSize) {
    Chunks chunks;
    for (ChunkCursor cursor(start, total, chunkSize); !cursor.atEnd(); cursor.advance()) {
        chunks.emplace_back(cursor.current().address, cursor.current().length);
    }
    return chunks;
}

TEST(WritePlan, BoardAndProcessorPickTheRequestSize) {
    struct Case {
        ChunkSizeInputs inputs;  // small page family, board code, variant, boot loader version
        int expected;
    };
    const Case cases[] = {
        {{true, 100, 0, 0x0410}, 32},   // small-page processor, whatever other board
        {{true, 245, 45, 0x0410}, 64},  // but board 245 of variant 4x wins over it
        {{false, 274, 45, 0x0410}, 32},
        {{false, 245, 45, 0x0410}, 64},
        {{false, 245, 40, 0x0410}, 64},
        {{false, 245, 39, 0x0410}, 128},
        {{false, 245, 50, 0x0410}, 128},
        {{false, 245, 145, 0x0410}, 128},  // 145 / 10 is 14
        {{false, 300, 45, 0x0410}, 128},
        // Boot loaders before 0x400 stand for board 245 of variant 0, whatever is cached.
        {{false, 274, 45, 0x03FF}, 128},
        {{false, 245, 45, 0x0300}, 128},
        {{true, 245, 45, 0x0300}, 32},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(transferChunkSize(c.inputs), c.expected)
            << "board " << c.inputs.boardCode << " variant " << int(c.inputs.boardVariant)
            << " boot " << c.inputs.bootVersion << " small " << c.inputs.smallPageFamily;
    }
}

TEST(WritePlan, ChunksEndOnChunkBoundariesAndCoverTheDataOnce) {
    struct Case {
        std::uint32_t start;
        qsizetype total;
        int chunkSize;
        Chunks expected;
    };
    const Case cases[] = {
        {0x08004000, 300, 128, {{0x08004000, 128}, {0x08004080, 128}, {0x08004100, 44}}},
        {0x08004010, 300, 128, {{0x08004010, 112}, {0x08004080, 128}, {0x08004100, 60}}},
        {0, 64, 32, {{0, 32}, {32, 32}}},
        {0x1F, 10, 32, {{0x1F, 1}, {0x20, 9}}},
        {0, 0, 128, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chunksOf(c.start, c.total, c.chunkSize), c.expected) << std::hex << c.start;
    }
    for (int chunkSize : {32, 64, 128}) {
        qsizetype covered = 0;
        std::uint32_t expectedNext = 0x08004005;
        for (const auto& [address, length] : chunksOf(0x08004005, 5000, chunkSize)) {
            EXPECT_EQ(address, expectedNext);
            EXPECT_EQ(address / chunkSize, (address + length - 1) / chunkSize) << address;
            expectedNext = address + length;
            covered += length;
        }
        EXPECT_EQ(covered, 5000);
    }
}

// The external-flash writer's order: the erases due before each chunk, then the chunk. Every
// sector written is erased once, before its first write, and only sectors that receive data are
// erased: a file ending on a sector boundary leaves the next sector alone.
TEST(WritePlan, ExternalFlashSectorsAreErasedOnceBeforeTheirFirstWrite) {
    struct Case {
        qsizetype total;
        int chunkSize;
        QList<int> sectors;
    };
    for (const Case& c : {Case{300, 128, {0}}, Case{4096, 128, {0}}, Case{4097, 128, {0, 1}},
                          Case{3 * 4096 + 100, 32, {0, 1, 2, 3}}}) {
        SCOPED_TRACE(c.total);
        SectorEraseMap sectors;
        QList<int> erased;
        for (ChunkCursor cursor(0, c.total, c.chunkSize); !cursor.atEnd(); cursor.advance()) {
            const Chunk chunk = cursor.current();
            for (std::uint32_t address : sectors.erasesBefore(chunk)) {
                sectors.markErased(address);
                erased.append(SectorEraseMap::sectorOf(address));
            }
            EXPECT_TRUE(sectors.isErased(chunk.address));
            EXPECT_TRUE(sectors.isErased(chunk.address + chunk.length - 1));
        }
        EXPECT_EQ(erased, c.sectors);
    }

    SectorEraseMap sectors;  // the map ends at 8 MiB
    EXPECT_EQ(SectorEraseMap::sectorOf(0x7FFFFF), 2047);
    EXPECT_EQ(SectorEraseMap::sectorOf(0xFFFFFFFF), 2047);
    sectors.markErased(0x900000);
    EXPECT_TRUE(sectors.isErased(0x7FF000));
    // The last chunk of a full 8 MiB image ends at the map's end: nothing more to erase.
    EXPECT_TRUE(sectors.erasesBefore({0x7FFF80, 0x7FFF80, 128}).isEmpty());
    sectors.clear();
    EXPECT_FALSE(sectors.isErased(0x7FF000));
}

// The sectors that make the version readable are written after every other one, whichever sector
// the directory names, so no cut leaves the new version over old bytes.
TEST(WritePlan, DataImageVersionSectorsComeLast) {
    struct Row {
        qsizetype size;
        std::uint16_t textSector;  // what the directory entry names
        QList<std::uint32_t> versionSectors;
        QList<ByteRange> order;
    };
    const std::vector<Row> rows = {
        {9000, 1, {1}, {{0, 4096}, {8192, 808}, {4096, 4096}}},
        {16000, 2, {1, 2}, {{0, 4096}, {12288, 3712}, {4096, 4096}, {8192, 4096}}},
        {16000, 0, {1, 0}, {{8192, 7808}, {0, 4096}, {4096, 4096}}},
        {9000, 9, {1}, {{0, 4096}, {8192, 808}, {4096, 4096}}},  // a text beyond the image
        {3000, 1, {}, {{0, 3000}}},                              // no directory in the image
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(QStringLiteral("%1 bytes, text in sector %2")
                         .arg(row.size)
                         .arg(row.textSector)
                         .toStdString());
        QByteArray image(row.size, '\x5A');
        if (row.size > 0x1014) {
            image[0x1012] = char(row.textSector & 0xFF);
            image[0x1013] = char(row.textSector >> 8);
        }
        const QList<std::uint32_t> sectors = eflVersionSectors(image);
        EXPECT_EQ(sectors, row.versionSectors);
        EXPECT_EQ(eflWriteOrder(row.size, sectors), row.order);
    }
}

TEST(WritePlan, ProgressTextsInWholePercentAndKibibytes) {
    EXPECT_EQ(kmt2ProgressText(0, 300), QStringLiteral("0% 0Кб "));
    EXPECT_EQ(kmt2ProgressText(128 * 1024, 245760), QStringLiteral("53% 128Кб "));
    EXPECT_EQ(kmt2ProgressText(300, 300), QStringLiteral("100% 0Кб "));

    // One mark per four percent, the first always shown.
    EXPECT_EQ(eflProgressBar(3), QStringLiteral(">") + QString(24, u'-'));
    EXPECT_EQ(eflProgressBar(4), QStringLiteral(">>") + QString(23, u'-'));
    EXPECT_EQ(eflProgressBar(100), QString(25, u'>'));
    EXPECT_EQ(eflProgressText(2048, 4096),
              QStringLiteral("# Writing: 50% 2KB [>>>>>>>>>>>>>------------]"));
    EXPECT_EQ(eflProgressText(0, 0),
              QStringLiteral("# Writing: 0% 0KB [>------------------------]"));
}

TEST(WritePlan, ThrottleWaitsMoreThanTheIntervalButAlwaysShowsTheEnd) {
    ProgressThrottle throttle(200, 1000);
    EXPECT_FALSE(throttle.due(1200, false));
    EXPECT_TRUE(throttle.due(1201, false));
    EXPECT_FALSE(throttle.due(1300, false));
    EXPECT_TRUE(throttle.due(1300, true));
    EXPECT_FALSE(throttle.due(1500, false)) << "the end restarts the interval too";
}

TEST(WritePlan, SpinnerTurnsThroughItsFourCharactersAndKeepsItsPlace) {
    QString turned;
    for (int i = 0; i < 8; ++i) {
        turned += nextSpinnerChar();
    }
    const QString all = QStringLiteral("|/-\\");
    EXPECT_EQ(turned.left(4), turned.mid(4));
    EXPECT_TRUE((turned.left(4) + turned.left(4)).contains(all)) << turned.toStdString();
    const int next = (all.indexOf(turned.back()) + 1) % 4;
    EXPECT_EQ(eflSpinnerText(), QStringLiteral("{Y83|CC|F02|AS|*}") + all[next] + QChar(0));
}

}  // namespace
}  // namespace verimant
