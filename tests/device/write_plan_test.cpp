#include "device/write_plan.h"
#include "device/efl_screen_texts.h"

#include <gtest/gtest.h>

#include <vector>

namespace verimant {
namespace {

std::vector<std::pair<std::uint32_t, int>> chunksOf(std::uint32_t start, qsizetype total,
                                                    int chunkSize) {
    std::vector<std::pair<std::uint32_t, int>> chunks;
    for (ChunkCursor cursor(start, total, chunkSize); !cursor.atEnd(); cursor.advance()) {
        chunks.emplace_back(cursor.current().address, cursor.current().length);
    }
    return chunks;
}

// The external-flash writer's order of requests: the erases due before each chunk, then the chunk.
struct EflStep {
    QList<std::uint32_t> erases;
    Chunk chunk;
};

std::vector<EflStep> eflSteps(qsizetype total, int chunkSize) {
    std::vector<EflStep> steps;
    SectorEraseMap sectors;
    for (ChunkCursor cursor(0, total, chunkSize); !cursor.atEnd(); cursor.advance()) {
        EflStep step{sectors.erasesBefore(cursor.current()), cursor.current()};
        for (std::uint32_t address : step.erases) {
            sectors.markErased(address);
        }
        steps.push_back(step);
    }
    return steps;
}

QList<int> erasedSectors(const std::vector<EflStep>& steps) {
    QList<int> sectors;
    for (const EflStep& step : steps) {
        for (std::uint32_t address : step.erases) {
            sectors.append(SectorEraseMap::sectorOf(address));
        }
    }
    return sectors;
}

TEST(WritePlanChunkSize, BoardAndProcessorPickTheRequestSize) {
    // small page family, board code, variant, boot loader version -> chunk size
    struct Case {
        ChunkSizeInputs inputs;
        int expected;
    };
    const Case cases[] = {
        {{true, 100, 0, 0x0410}, 32},  // small-page processor, whatever the board
        {{false, 274, 45, 0x0410}, 32},
        {{false, 245, 45, 0x0410}, 64},
        {{false, 245, 40, 0x0410}, 64},
        {{false, 245, 39, 0x0410}, 128},
        {{false, 245, 50, 0x0410}, 128},
        {{false, 245, 145, 0x0410}, 128},  // 145 / 10 is 14, not 4
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

TEST(WritePlanChunks, AlignedStartWritesFullChunksAndATail) {
    using Chunks = std::vector<std::pair<std::uint32_t, int>>;
    EXPECT_EQ(chunksOf(0, 300, 128), (Chunks{{0, 128}, {128, 128}, {256, 44}}));
    EXPECT_EQ(chunksOf(0x08004000, 300, 128),
              (Chunks{{0x08004000, 128}, {0x08004080, 128}, {0x08004100, 44}}));
    EXPECT_EQ(chunksOf(0, 64, 32), (Chunks{{0, 32}, {32, 32}}));
    EXPECT_TRUE(chunksOf(0, 0, 128).empty());
}

TEST(WritePlanChunks, UnalignedStartEndsTheFirstChunkOnTheNextBoundary) {
    using Chunks = std::vector<std::pair<std::uint32_t, int>>;
    EXPECT_EQ(chunksOf(0x08004010, 300, 128),
              (Chunks{{0x08004010, 112}, {0x08004080, 128}, {0x08004100, 60}}));
    EXPECT_EQ(chunksOf(0x1F, 10, 32), (Chunks{{0x1F, 1}, {0x20, 9}}));
    EXPECT_EQ(nextChunkLength(0x08004010, 5, 128), 5);
}

TEST(WritePlanChunks, NoChunkCrossesAChunkBoundary) {
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

TEST(WritePlanEfl, ThreeHundredBytesEraseSectorZeroOnceBeforeTheFirstChunk) {
    const auto steps = eflSteps(300, 128);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].erases, QList<std::uint32_t>{0});
    EXPECT_TRUE(steps[1].erases.isEmpty());
    EXPECT_TRUE(steps[2].erases.isEmpty());
    EXPECT_EQ(steps[2].chunk.address, 256u);
    EXPECT_EQ(steps[2].chunk.length, 44);
}

TEST(WritePlanEfl, AChunkEndingOnASectorBoundaryErasesTheNextSectorAhead) {
    const auto steps = eflSteps(4096, 128);
    ASSERT_EQ(steps.size(), 32u);
    EXPECT_EQ(steps.back().erases, QList<std::uint32_t>{4096});
    EXPECT_EQ(erasedSectors(steps), (QList<int>{0, 1}));

    // Unaligned lengths: every sector written is erased exactly once, before its first write.
    const auto longer = eflSteps(3 * 4096 + 100, 32);
    EXPECT_EQ(erasedSectors(longer), (QList<int>{0, 1, 2, 3}));
    SectorEraseMap seen;
    for (const EflStep& step : longer) {
        for (std::uint32_t address : step.erases) {
            seen.markErased(address);
        }
        EXPECT_TRUE(seen.isErased(step.chunk.address));
        EXPECT_TRUE(seen.isErased(step.chunk.address + step.chunk.length - 1));
    }
}

TEST(WritePlanEfl, TheMapEndsAtEightMebibytes) {
    SectorEraseMap sectors;
    EXPECT_EQ(SectorEraseMap::sectorOf(0x7FFFFF), 2047);
    EXPECT_EQ(SectorEraseMap::sectorOf(0x800000), 2047);
    EXPECT_EQ(SectorEraseMap::sectorOf(0xFFFFFFFF), 2047);
    sectors.markErased(0x900000);
    EXPECT_TRUE(sectors.isErased(0x7FF000));
    // The last chunk of a full 8 MiB image ends at the map's end: nothing more to erase.
    EXPECT_TRUE(sectors.erasesBefore({0x7FFF80, 0x7FFF80, 128}).isEmpty());
    sectors.clear();
    EXPECT_FALSE(sectors.isErased(0x7FF000));
}

TEST(WritePlanProgress, Kmt2TextInWholePercentAndKibibytes) {
    EXPECT_EQ(kmt2ProgressText(0, 300), QStringLiteral("0% 0Кб "));
    EXPECT_EQ(kmt2ProgressText(128 * 1024, 245760), QStringLiteral("53% 128Кб "));
    EXPECT_EQ(kmt2ProgressText(300, 300), QStringLiteral("100% 0Кб "));
}

TEST(WritePlanProgress, EflBarFillsOneMarkPerFourPercent) {
    EXPECT_EQ(eflProgressBar(0), QStringLiteral(">") + QString(24, u'-'));
    EXPECT_EQ(eflProgressBar(50), QString(13, u'>') + QString(12, u'-'));
    EXPECT_EQ(eflProgressBar(100), QString(25, u'>'));
    EXPECT_EQ(eflProgressBar(3), QStringLiteral(">") + QString(24, u'-'));
    EXPECT_EQ(eflProgressBar(4), QStringLiteral(">>") + QString(23, u'-'));
    EXPECT_EQ(eflProgressText(2048, 4096),
              QStringLiteral("# Writing: 50% 2KB [") + eflProgressBar(50) + QStringLiteral("]"));
    EXPECT_EQ(eflProgressText(0, 0),
              QStringLiteral("# Writing: 0% 0KB [") + eflProgressBar(0) + QStringLiteral("]"));
}

TEST(WritePlanProgress, ThrottleWaitsMoreThanTheIntervalButAlwaysShowsTheEnd) {
    ProgressThrottle throttle(200, 1000);
    EXPECT_FALSE(throttle.due(1200, false));
    EXPECT_TRUE(throttle.due(1201, false));
    EXPECT_FALSE(throttle.due(1300, false));
    EXPECT_TRUE(throttle.due(1300, true));
    EXPECT_FALSE(throttle.due(1500, false)) << "the end restarts the interval too";
}

TEST(WritePlanScreen, SpinnerTurnsThroughItsFourCharactersAndKeepsItsPlace) {
    const QString all = QStringLiteral("|/-\\");
    QString turned;
    for (int i = 0; i < 8; ++i) {
        turned += nextSpinnerChar();
    }
    EXPECT_EQ(turned.left(4), turned.mid(4));
    for (QChar c : all) {
        EXPECT_EQ(turned.left(4).count(c), 1) << QString(c).toStdString();
    }
    const int next = (all.indexOf(turned.back()) + 1) % 4;
    EXPECT_EQ(eflSpinnerText(), QStringLiteral("{Y83|CC|F02|AS|*}") + all[next] + QChar(0));
}

}  // namespace
}  // namespace verimant
