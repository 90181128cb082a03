#include "base/activity_log.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace verimant {
namespace {

TEST(ActivityLog, RepeatedLineShowsOnceUntilAnotherComesBetween) {
    ActivityLog log;
    QSignalSpy appended(&log, &ActivityLog::lineAppended);
    log.AddLine("");  // equal to the empty last line of a fresh log
    log.AddErrorLine("X", -5);
    log.AddErrorLine("X", -5);
    log.AddLine("X: ERC[-5]");  // error lines follow the same rule
    log.AddLine("B");
    log.AddLine("B");
    log.AddErrorLine("Ошибка FTP: не создан каталог", 2147483647);
    log.AddLine("b");  // case counts
    log.AddLine("");
    EXPECT_EQ(log.lines(),
              QStringList(
                  {"X: ERC[-5]", "B", "Ошибка FTP: не создан каталог: ERC[2147483647]", "b", ""}));
    EXPECT_EQ(appended.count(), 5);
}

TEST(ActivityLog, ClearingAndReplacingKeepTheComparedLine) {
    ActivityLog log;
    QSignalSpy cleared(&log, &ActivityLog::cleared);
    QSignalSpy replaced(&log, &ActivityLog::lastLineReplaced);
    log.ReplaceLastLine("Z");  // nothing to replace in an empty pane; nothing is invented
    EXPECT_TRUE(log.lines().isEmpty());

    log.AddLine("A");
    log.clear();
    EXPECT_EQ(cleared.count(), 1);
    log.AddLine("A");  // dropped: still the last line
    EXPECT_TRUE(log.lines().isEmpty());

    log.AddLine("head");
    log.AddLine("P");
    log.ReplaceLastLine("Q");
    log.AddLine("P");  // dropped: the kept last line is still P
    EXPECT_EQ(log.lines(), QStringList({"head", "Q"}));
    EXPECT_EQ(log.lastLine(), "P");
    ASSERT_EQ(replaced.count(), 1);
    EXPECT_EQ(replaced.last().at(0).toString(), "Q");
}

TEST(ActivityLog, ReportIsCp1251WithOneLineFeedPerLine) {
    ActivityLog log;
    EXPECT_TRUE(log.reportBytes().isEmpty());
    log.AddLine("Лог ёЁ №");
    log.AddLine("");
    log.AddLine("END");
    EXPECT_EQ(log.reportBytes(), QByteArray::fromHex("cbeee320b8a820b90a0a") + "END\n");
}

}  // namespace
}  // namespace verimant
