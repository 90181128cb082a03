#include "tests/ui/choice_window_fixture.h"

#include "ui/device_language_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace verimant::test {
namespace {

LanguageCatalog catalogWithPacket(const QStringList& packetLanguages) {
    LanguageCatalog catalog;
    const LanguageEntry entries[] = {{0, "RU", "Русский", "Russian"},
                                     {1, "EN", "Английский", "English"},
                                     {2, "DE", "Немецкий", "German"}};
    for (const LanguageEntry& entry : entries) {
        catalog.entries[catalog.count++] = entry;
    }
    catalog.currentLanguages = packetLanguages;
    return catalog;
}

class DeviceLanguageDialogTest : public ChoiceWindowTest {
protected:
    void open(int currentCode, const QStringList& packet = {"RU", "EN", "DE"}) {
        catalog = catalogWithPacket(packet);
        dialog.OpenDeviceLanguageDialog(&catalog, currentCode, slot);
    }
    QComboBox* combo() { return child<QComboBox>(&dialog, "ComboBox1"); }
    QString current() { return child<QLabel>(&dialog, "StaticText1")->text(); }

    LanguageCatalog catalog;
    DeviceLanguageDialog dialog{&mainWindow};
    int slot = 99;
};

TEST_F(DeviceLanguageDialogTest, OpensOverTheDisabledMainWindowInEitherLanguage) {
    struct Case {
        UiLanguage language;
        int currentCode;
        QStringList texts;  // caption, GroupBox1, GroupBox2, OK, Cancel, StaticText1
        QStringList names;
        int selected;
    };
    const Case cases[] = {
        {UiLanguage::Russian,
         2,
         {"Установка языка Вериманта", "Текущий язык", "Выбрать и установить язык", "OK", "Отмена",
          "Немецкий"},
         {"Русский", "Английский", "Немецкий"},
         2},
        {UiLanguage::English,
         1,
         {"Select Language of Verimant", "Current Language", "Select and Set Language", "OK",
          "Cancel", "English"},
         {"Russian", "English", "German"},
         1},
        // A present language the packet does not offer: the first one is pre-selected.
        {UiLanguage::Russian,
         7,
         {"Установка языка Вериманта", "Текущий язык", "Выбрать и установить язык", "OK", "Отмена",
          "Неопределено"},
         {"Русский", "Английский", "Немецкий"},
         0},
        {UiLanguage::English,
         7,
         {"Select Language of Verimant", "Current Language", "Select and Set Language", "OK",
          "Cancel", "Unknown"},
         {"Russian", "English", "German"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.texts.last().toStdString());
        setUiLanguage(c.language);
        open(c.currentCode);
        EXPECT_EQ(slot, kDeviceLanguagePending);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(mainWindow.isEnabled());
        const QStringList texts = {dialog.windowTitle(),
                                   child<QGroupBox>(&dialog, "GroupBox1")->title(),
                                   child<QGroupBox>(&dialog, "GroupBox2")->title(),
                                   child<QPushButton>(&dialog, "BitBtn2")->text(),
                                   child<QPushButton>(&dialog, "BitBtn1")->text(),
                                   current()};
        EXPECT_EQ(texts, c.texts);
        EXPECT_EQ(items(combo()), c.names);
        EXPECT_EQ(combo()->currentIndex(), c.selected);
        EXPECT_EQ(dialog.size(), QSize(340, 167));
        EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
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
        {"no language", true, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        catalog = catalogWithPacket(c.packet);
        slot = 99;
        dialog.OpenDeviceLanguageDialog(c.withCatalog ? &catalog : nullptr, c.currentCode, slot);
        EXPECT_EQ(slot, kDeviceLanguageCancelled);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(mainWindow.isEnabled());
    }
}

TEST_F(DeviceLanguageDialogTest, ClosingGivesTheCodeOrWhyThereIsNone) {
    struct Case {
        const char* what;
        QStringList packet;
        std::function<void(DeviceLanguageDialog&, QComboBox*)> act;
        int result;
    };
    const auto select = [](int index, Qt::Key key) {
        return [index, key](DeviceLanguageDialog& d, QComboBox* combo) {
            combo->setCurrentIndex(index);
            QTest::keyClick(d.focusWidget(), key);
        };
    };
    const auto type = [](const char* text) {
        return [text](DeviceLanguageDialog& d, QComboBox* combo) {
            combo->lineEdit()->setText(QString::fromUtf8(text));
            d.findChild<QPushButton*>("BitBtn2")->click();
        };
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
        {"closed from outside", all, [](DeviceLanguageDialog& d, QComboBox*) { d.close(); }, -1},
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
    catalog = catalogWithPacket({"RU", "EN", "DE"});
    QTimer::singleShot(0, [this] {
        combo()->setCurrentIndex(0);
        QTest::keyClick(combo()->lineEdit(), Qt::Key_Return);
    });
    EXPECT_EQ(chooseDeviceLanguage(dialog, &catalog, 2), 0);
    EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
}  // namespace verimant::test
