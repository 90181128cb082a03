// File → History: the recorded runs in the window, newest first, filtered by serial number.

#include "ui/history_window.h"
#include "tests/ui/window_fixture.h"
#include "update/run_history.h"

#include <QLineEdit>
#include <QTableWidget>

namespace verimant::test {
namespace {

class HistoryWindowTest : public WindowTest {
protected:
    void record(const QString& serial, const QString& result) {
        RunHistory history;
        ASSERT_TRUE(history.open()) << history.problem().toStdString();
        HistoryRow row;
        row.kind = QStringLiteral("upgrade");
        row.serial = serial;
        row.port = 7;
        ASSERT_TRUE(history.begin(row));
        row.result = result;
        row.versionsBefore = QStringLiteral("KMT2 2.3, EFL 1.5");
        ASSERT_TRUE(history.finish(row));
        QTest::qWait(5);  // distinct start times, so "newest first" has one answer
    }

    QStringList column(QTableWidget* table, int index) const {
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row) {
            texts << table->item(row, index)->text();
        }
        return texts;
    }
};

TEST_F(HistoryWindowTest, TheFileMenuOpensEveryRunNewestFirstAndTheSerialFilterNarrowsIt) {
    record(QStringLiteral("1-23-45678"), QStringLiteral("written"));
    record(QStringLiteral("2-23-45678"), QStringLiteral("failed"));
    record(QStringLiteral("1-23-45678"), QStringLiteral("refused"));
    showWindow();
    QAction* item = nullptr;
    for (QAction* entry : widget<QMenu>("MainMenu_File")->actions()) {
        if (entry->objectName() == QLatin1String("MainMenu_File_History")) {
            item = entry;
        }
    }
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(shownText(item->text()), QStringLiteral("История"));
    item->trigger();

    auto* form = window->findChild<HistoryWindow*>(QStringLiteral("Form_History"));
    ASSERT_NE(form, nullptr);
    auto* table = form->findChild<QTableWidget*>(QStringLiteral("Table_History"));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(column(table, 6), (QStringList{"refused", "failed", "written"}));
    EXPECT_EQ(column(table, 3), (QStringList{"1-23-45678", "2-23-45678", "1-23-45678"}));
    EXPECT_EQ(column(table, 4).first(), QStringLiteral("KMT2 2.3, EFL 1.5"));

    form->findChild<QLineEdit*>(QStringLiteral("Edit_History_Serial"))->setText("1-23-45678");
    EXPECT_EQ(column(table, 6), (QStringList{"refused", "written"}));
    form->findChild<QLineEdit*>(QStringLiteral("Edit_History_Serial"))->setText("9-99-99999");
    EXPECT_EQ(table->rowCount(), 0);
    form->close();
}

}  // namespace
}  // namespace verimant::test
