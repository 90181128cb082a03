#include "tests/ui/choice_window_fixture.h"

#include "tests/update/language_catalog.h"
#include "ui/device_language_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace verimant::test {
namespace {

class DeviceLanguageDialogTest : public ChoiceWindowTest {
protected:
    void open(int currentCode, const QStringList& packet = {"RU", "EN", "DE"}) {
        catalog = threeLanguageCatalog(packet);
        dialog.OpenDeviceLanguageDialog(&catalog, currentCode, slot);
    }
    QComboBox* combo() { return child<QComboBox>(&dialog, "ComboBox1"); }

    LanguageCatalog catalog;
    DeviceLanguageDialog dialog{&mainWindow};
    int slot = 99;
};

TEST_F(DeviceLanguageDialogTest, OffersThePacketsLanguagesWithThePresentOneSelected) {
    struct Case {
        UiLanguage language;
        int currentCode;
        QStringList names;
        int selected;
        QString present;
    };
    const Case cases[] = {
        {UiLanguage::Russian, 2, {"Русский", "Английский", "Немецкий"}, 2, "Немецкий"},
        {UiLanguage::English, 1, {"Russian", "English", "German"}, 1, "English"},
        // A present language the packet does not offer: the first one is pre-selected.
        {UiLanguage::Russian, 7, {"Русский", "Английский", "Немецкий"}, 0, "Неопределено"},
        {UiLanguage::English, 7, {"Russian", "English", "German"}, 0, "Unknown"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.present.toStdString());
        setUiLanguage(c.language);
        open(c.currentCode);
        EXPECT_EQ(slot, kDeviceLanguagePending);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(mainWindow.isEnabled());
        EXPECT_EQ(items(combo()), c.names);
        EXPECT_EQ(combo()->currentIndex(), c.selected);
        EXPECT_EQ(child<QLabel>(&dialog, "StaticText1")->text(), c.present);
        dialog.BitBtn1Click();
        EXPECT_TRUE(mainWindow.isEnabled());
    }
}

TEST_F(DeviceLanguageDialogTest, NothingToChooseIsAnsweredAtOnce) {
    struct Case {
        const char* what;
        bool withCatalog;
        int currentCode;
        QStringList packet;
    };
    const Case cases[] = {
        {"no catalogue", false, 1, {"RU", "EN"}},
        {"present language unknown to the instrument", true, -1, {"RU", "EN"}},
        {"a single language", true, 1, {"EN"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        catalog = threeLanguageCatalog(c.packet);
        slot = 99;
        dialog.OpenDeviceLanguageDialog(c.withCatalog ? &catalog : nullptr, c.currentCode, slot);
        EXPECT_EQ(slot, kDeviceLanguageCancelled);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(mainWindow.isEnabled());
    }
}

TEST_F(DeviceLanguageDialogTest, ClosingGivesTheCodeOrWhyThereIsNone) {
    using Act = std::function<void(DeviceLanguageDialog&, QComboBox*)>;
    const auto select = [](int index, Qt::Key key) -> Act {
        return [index, key](DeviceLanguageDialog& d, QComboBox* combo) {
            combo->setCurrentIndex(index);
            QTest::keyClick(d.focusWidget(), key);
        };
    };
    const auto type = [](const char* text) -> Act {
        return [text](DeviceLanguageDialog& d, QComboBox* combo) {
            combo->lineEdit()->setText(QString::fromUtf8(text));
            d.findChild<QPushButton*>("BitBtn2")->click();
        };
    };
    struct Case {
        const char* what;
        QStringList packet;
        Act act;
        int result;
    };
    const QStringList all = {"RU", "EN", "DE"};
    const Case cases[] = {
        {"Enter on the present language", all, select(1, Qt::Key_Return), -2},
        {"Enter on another", all, select(2, Qt::Key_Return), 2},
        {"Esc", all, select(2, Qt::Key_Escape), -1},
        {"Cancel", all,
         [](DeviceLanguageDialog& d, QComboBox* combo) {
             combo->setCurrentIndex(0);
             d.findChild<QPushButton*>("BitBtn1")->click();
         },
         -1},
        {"double click", all,
         [](DeviceLanguageDialog&, QComboBox* combo) {
             combo->setCurrentIndex(0);
             doubleClick(combo->lineEdit());
         },
         0},
        {"typed name of an item", all, type("Немецкий"), 2},
        {"typed text naming nothing", all, type("Klingon"), -2},
        // The unknown key ends the list: only the present language remains.
        {"second key unknown", {"EN", "XX", "DE"}, select(0, Qt::Key_Return), -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        open(1, c.packet);
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        c.act(dialog, combo());
        EXPECT_EQ(slot, c.result);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(mainWindow.isEnabled());
    }
    // What typing leaves behind is never offered next time.
    open(1);
    EXPECT_EQ(items(combo()), QStringList({"Русский", "Английский", "Немецкий"}));
}

TEST_F(DeviceLanguageDialogTest, ChooseDeviceLanguageWaitsWithTheWindowAlive) {
    catalog = threeLanguageCatalog();
    QTimer::singleShot(0, [this] {
        combo()->setCurrentIndex(0);
        QTest::keyClick(combo()->lineEdit(), Qt::Key_Return);
    });
    EXPECT_EQ(chooseDeviceLanguage(dialog, &catalog, 2), 0);
    EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
}  // namespace verimant::test
