#include "base/activity_log.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace verimant {
namespace {

TEST(ActivityLog, RepeatedLineShowsOnceUntilAnotherComesBetween) {
    ActivityLog log;
    QSignalSpy appended(&log, &ActivityLog::lineAppended);
    log.AddLine("A");
    log.AddLine("A");
    log.AddLine("B");
    log.AddLine("A");
    log.AddLine("a");  // case counts
    EXPECT_EQ(log.lines(), QStringList({"A", "B", "A", "a"}));
    EXPECT_EQ(appended.count(), 4);
    EXPECT_EQ(log.lastLine(), "a");

    // An empty line is dropped while the last line is empty, as at start.
    ActivityLog fresh;
    fresh.AddLine("");
    EXPECT_TRUE(fresh.lines().isEmpty());
    fresh.AddLine("x");
    fresh.AddLine("");
    EXPECT_EQ(fresh.lines(), QStringList({"x", ""}));
}

TEST(ActivityLog, ErrorLinesFollowTheSameRule) {
    ActivityLog log;
    log.AddErrorLine("X", -5);
    log.AddErrorLine("X", -5);
    log.AddLine("X: ERC[-5]");
    log.AddErrorLine("Ошибка FTP: не создан каталог", 0);
    log.AddErrorLine("Y", 2147483647);
    EXPECT_EQ(log.lines(), QStringList({"X: ERC[-5]", "Ошибка FTP: не создан каталог: ERC[0]",
                                        "Y: ERC[2147483647]"}));
}

TEST(ActivityLog, ClearingKeepsTheLastLineForComparison) {
    ActivityLog log;
    QSignalSpy cleared(&log, &ActivityLog::cleared);
    log.AddLine("A");
    log.clear();
    EXPECT_EQ(cleared.count(), 1);
    log.AddLine("A");
    EXPECT_TRUE(log.lines().isEmpty());
    log.AddLine("B");
    log.AddLine("A");
    EXPECT_EQ(log.lines(), QStringList({"B", "A"}));
}

TEST(ActivityLog, ReplacingOverwritesInPlaceButNotTheComparedLine) {
    ActivityLog log;
    QSignalSpy replaced(&log, &ActivityLog::lastLineReplaced);
    log.AddLine("head");
    log.AddLine("P");
    log.ReplaceLastLine("Q");
    log.AddLine("P");  // dropped: the kept last line is still P
    EXPECT_EQ(log.lines(), QStringList({"head", "Q"}));
    EXPECT_EQ(log.lastLine(), "P");
    log.ReplaceLastLine("R");
    EXPECT_EQ(log.lines(), QStringList({"head", "R"}));
    EXPECT_EQ(replaced.count(), 2);
    EXPECT_EQ(replaced.last().at(0).toString(), "R");

    // Nothing to replace in an empty pane; nothing is invented.
    ActivityLog empty;
    empty.ReplaceLastLine("Z");
    EXPECT_TRUE(empty.lines().isEmpty());
}

TEST(ActivityLog, ReportIsCp1251WithOneLineFeedPerLine) {
    ActivityLog log;
    EXPECT_TRUE(log.reportBytes().isEmpty());
    log.AddLine("A");
    log.AddLine("B");
    EXPECT_EQ(log.reportBytes(), QByteArray::fromHex("410a420a"));

    ActivityLog russian;
    russian.AddLine("Лог ёЁ №");
    russian.AddLine("");
    russian.AddLine("END");
    EXPECT_EQ(russian.reportBytes(), QByteArray::fromHex("cbeee320b8a820b90a") +
                                         QByteArray::fromHex("0a") + QByteArray("END\n"));
}

}  // namespace
}  // namespace verimant
