#include "tests/ui/choice_window_fixture.h"

#include "ui/language_packet_dialog.h"
#include "ui/main_window.h"

#include <QAbstractItemView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace verimant::test {
namespace {

// EURO's Russian description has a gap after line 2; ASIA has no English name and 40 lines.
QString packetsIni() {
    QString ini = QStringLiteral(
        "[LANGUAGE:EURO]\n"
        "NAME_L1=Европа\n"
        "NAME_L2=Europe\n"
        "INFO_L1_S1=Русский, английский\n"
        "INFO_L1_S2=Немецкий\n"
        "INFO_L1_S4=после пропуска\n"
        "INFO_L2_S1=Russian, English\n"
        "INFO_L2_S2=German\n"
        "[LANGUAGE:ASIA]\n"
        "NAME_L1=Азия\n");
    for (int n = 1; n <= 40; ++n) {
        ini += QStringLiteral("INFO_L1_S%1=строка %1\n").arg(n);
    }
    return ini;
}

class LanguagePacketDialogTest : public ChoiceWindowTest {
protected:
    void SetUp() override {
        ChoiceWindowTest::SetUp();
        openConfig(packetsIni());
    }

    void open(const QStringList& list = {"EURO", "ASIA"}) {
        dialog.OpenLanguagePacketDialog(config, list, slot);
    }
    QComboBox* combo() { return child<QComboBox>(&dialog, "ComboBox1"); }
    QString memo() { return child<QPlainTextEdit>(&dialog, "Memo1")->toPlainText(); }

    LanguagePacketDialog dialog{&mainWindow};
    int slot = 99;
};

TEST_F(LanguagePacketDialogTest, OpensCentredOverTheDisabledMainWindowInEitherLanguage) {
    struct Case {
        UiLanguage language;
        QStringList names;
        QString description;
    };
    const Case cases[] = {
        {UiLanguage::Russian, {"Европа", "Азия"}, "Русский, английский\nНемецкий"},
        // A missing display name shows as "???".
        {UiLanguage::English, {"Europe", "???"}, "Russian, English\nGerman"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description.toStdString());
        setUiLanguage(c.language);
        open();
        EXPECT_EQ(slot, kPacketChoicePending);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(mainWindow.isEnabled());
        EXPECT_EQ(items(combo()), c.names);
        EXPECT_EQ(combo()->currentIndex(), 0);
        EXPECT_EQ(memo(), c.description);
        EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        EXPECT_LE((dialog.frameGeometry().center() - mainWindow.frameGeometry().center())
                      .manhattanLength(),
                  2);
        dialog.BitBtn2Click();
        EXPECT_TRUE(mainWindow.isEnabled());
    }
}

TEST_F(LanguagePacketDialogTest, DescriptionStopsAtAGapOrAfterThirtyOneLines) {
    open();
    combo()->setCurrentIndex(1);
    QStringList expected;
    for (int n = 1; n <= 31; ++n) {
        expected.append(QStringLiteral("строка %1").arg(n));
    }
    EXPECT_EQ(memo(), expected.join('\n'));
    // A new selection replaces the whole description; outside the list nothing changes.
    combo()->setCurrentIndex(0);
    dialog.ShowPacketInfo(2);
    dialog.ShowPacketInfo(-1);
    EXPECT_EQ(memo(), "Русский, английский\nНемецкий");
}

TEST_F(LanguagePacketDialogTest, KeysButtonsAndDoubleClickClose) {
    using Act = std::function<void(LanguagePacketDialog&)>;
    const auto key = [](Qt::Key k) -> Act {
        return [k](LanguagePacketDialog& d) { QTest::keyClick(d.focusWidget(), k); };
    };
    const auto click = [](const char* button) -> Act {
        return [button](LanguagePacketDialog& d) { d.findChild<QPushButton*>(button)->click(); };
    };
    // A double click on an item of the open list lands on the popup, not on the field.
    const Act doubleClickSecondInList = [](LanguagePacketDialog& d) {
        QComboBox* combo = d.findChild<QComboBox*>("ComboBox1");
        combo->showPopup();
        QAbstractItemView* list = combo->view();
        doubleClick(list->viewport(), list->visualRect(list->model()->index(1, 0)).center());
    };
    struct Case {
        const char* what;
        int select;  // -1: leave the first item selected
        Act act;
        int result;
    };
    const Case cases[] = {
        {"Enter at once", -1, key(Qt::Key_Return), 0},
        {"Enter on the second", 1, key(Qt::Key_Enter), 1},
        {"Esc", 1, key(Qt::Key_Escape), -1},
        {"OK", 1, click("BitBtn1"), 1},
        {"Cancel", 1, click("BitBtn2"), -1},
        {"double click", 1,
         [](LanguagePacketDialog& d) { doubleClick(d.findChild<QComboBox*>("ComboBox1")); }, 1},
        {"double click in the open list", -1, doubleClickSecondInList, 1},
        {"closed from outside", 1, [](LanguagePacketDialog& d) { d.close(); }, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        open();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        if (c.select >= 0) {
            combo()->setCurrentIndex(c.select);
        }
        c.act(dialog);
        EXPECT_EQ(slot, c.result);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(mainWindow.isEnabled());
    }
}

TEST_F(LanguagePacketDialogTest, NoOpenerIsLeftWaiting) {
    // An empty list is answered at once, without showing anything.
    open({});
    EXPECT_EQ(slot, kPacketChoiceCancelled);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(mainWindow.isEnabled());

    // A second opening cancels the first opener's choice.
    open();
    int second = 99;
    dialog.OpenLanguagePacketDialog(config, {"ASIA"}, second);
    EXPECT_EQ(slot, kPacketChoiceCancelled);
    EXPECT_EQ(second, kPacketChoicePending);
    EXPECT_EQ(items(combo()), QStringList({"Азия"}));

    // A window that goes away while open answers Cancel.
    {
        LanguagePacketDialog shortLived(&mainWindow);
        shortLived.OpenLanguagePacketDialog(config, {"EURO"}, second);
        EXPECT_FALSE(mainWindow.isEnabled());
    }
    EXPECT_EQ(second, kPacketChoiceCancelled);
    EXPECT_TRUE(mainWindow.isEnabled());
}

TEST_F(LanguagePacketDialogTest, ChoosePacketWaitsWithTheWindowAlive) {
    QTimer::singleShot(0, [this] {
        combo()->setCurrentIndex(1);
        QTest::keyClick(combo(), Qt::Key_Return);
    });
    EXPECT_EQ(choosePacket(dialog, config, {"EURO", "ASIA"}), 1);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(LanguagePacketDialogLanguage, FollowsTheMainWindowsLanguageSwitch) {
    setUiLanguage(UiLanguage::Russian);
    MainWindow window;
    LanguagePacketDialog dialog(&window);
    window.ApplyLanguage(UiLanguage::English);
    EXPECT_EQ(dialog.windowTitle(), "Select Language Packet for Verimant");
    EXPECT_EQ(dialog.findChild<QPushButton*>("BitBtn2")->text(), "Cancel");
    window.ApplyLanguage(UiLanguage::Russian);
    EXPECT_EQ(dialog.windowTitle(), "Выбор языкового набора для прибора");
}

}  // namespace
}  // namespace verimant::test
