#include "tests/ui/window_fixture.h"

#include "ui/image_list.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

namespace verimant::test {
namespace {

struct Row {
    const char* control;
    const char* russian;
    const char* english;
};

// What the user reads in each language, written down independently of the window's own table.
const Row kRows[] = {
    {"Action_Menu_File", "Файл", "File"},
    {"Action_Menu_Connection", "Соединение", "Connection"},
    {"Action_Menu_Help", "Помощь", "Help"},
    {"Action_Exit", "Выход", "Exit"},
    {"Action_LOG_Clear", "Очистить лог", "Clear Report"},
    {"Action_Connection_Auto", "Автоматическое", "Auto"},
    {"Action_Connection_Manual", "Вручную", "Manual"},
    {"Action_Connection_Manual_Number", "Номер порта :", "Port Number :"},
    {"Action_Connection_Manual_List", "Выбрать из списка :", "Choose from the List :"},
    {"GroupBox_DeviceInfo", "Информация об устройстве", "Device Information"},
    {"Label_SerialNumber", "Серийный номер :", "Serial Number :"},
    {"Label_BoardVersion", "Версия платы :", "Board Version :"},
    {"Label_Board_SubCode", "Код сборки :", "Assebling Code :"},
    {"GroupBox_SoftInfo", "Информация о ПО", "Software Information"},
    {"GroupBox_Log", "Лог", "Report"},
    {"BitBtn_ReNewDeviceInfo", "Обновление", "Upgrade"},
    {"N_Nastroiki", "Настройки", "Settings"},
    {"Action_Data_Source", "Источник данных", "Data Source"},
    {"Action_Data_Source_Internet", "Интернет", "Internet"},
    {"Action_Data_Source_Local", "Локальный", "Local"},
    {"PopupMenu_Log_Save", "Сохранить", "Save"},
};

// Menus and group boxes show a title, everything else its text.
QString controlText(const QObject* control) {
    const QVariant title = control->property("title");
    return verimant::test::shownText(
        (title.isValid() ? title : control->property("text")).toString());
}

void expectLanguage(const MainWindow& window, bool english) {
    for (const Row& row : kRows) {
        QObject* control = window.findChild<QObject*>(QString::fromLatin1(row.control));
        ASSERT_NE(control, nullptr) << row.control;
        EXPECT_EQ(controlText(control), QString::fromUtf8(english ? row.english : row.russian))
            << row.control;
    }
}

QString storedLanguage() {
    const auto value = readUserInt32(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("LANGUAGE"));
    return value ? QString::number(*value) : QStringLiteral("none");
}

class LanguageTest : public WindowTest {};

TEST_F(LanguageTest, ControlTextsFollowEachLanguageAndNeutralOnesStay) {
    expectLanguage(*window, false);
    window->ApplyLanguage(UiLanguage::English);
    expectLanguage(*window, true);
    EXPECT_EQ(widget<QLabel>("Label7")->text(), "UID :");
    EXPECT_EQ(widget<QLabel>("Label4")->text(), "BOOT :");
    EXPECT_EQ(widget<QLabel>("Label5")->text(), "KMT2 :");
    EXPECT_EQ(widget<QLabel>("Label6")->text(), "Ext Data :");
    EXPECT_EQ(window->windowTitle(), "Pelma Verimant Manager v1.0");
    window->ApplyLanguage(UiLanguage::Russian);
    expectLanguage(*window, false);
}

// The toggle sits rightmost on the menu bar after two spacers; a click there is the same action.
TEST_F(LanguageTest, ToggleSwitchesCaptionIconAndStoredSetting) {
    const QList<QAction*> items = window->menuBar()->actions();
    ASSERT_GE(items.size(), 3);
    EXPECT_EQ(items.at(items.size() - 3)->text(), QString(24, ' '));
    EXPECT_EQ(items.at(items.size() - 2)->text(), QString(20, ' '));
    QAction* toggle = items.last();
    EXPECT_EQ(verimant::test::shownText(toggle->text()), "RUS");
    EXPECT_EQ(toggle->icon().cacheKey(),
              window->imageList().icon(ImageList::RussianFlag).cacheKey());

    // Captions that their owners changed are rewritten too, except the connected model's name.
    window->setDeviceInfoCaption(QStringLiteral("Verimant - T23"));
    action("Action_Connection_Manual")->setText(QStringLiteral("Вручную COM5"));
    toggle->trigger();
    EXPECT_EQ(uiLanguage(), UiLanguage::English);
    EXPECT_EQ(verimant::test::shownText(toggle->text()), "ENG");
    EXPECT_EQ(action("Action_Language")->text(), "ENG");
    EXPECT_EQ(toggle->icon().cacheKey(),
              window->imageList().icon(ImageList::BritishFlag).cacheKey());
    EXPECT_EQ(storedLanguage(), "2");
    EXPECT_EQ(widget<QGroupBox>("GroupBox_DeviceInfo")->title(), "Verimant - T23");
    EXPECT_EQ(action("Action_Connection_Manual")->text(), "Manual");

    action("Action_Language")->trigger();
    EXPECT_EQ(uiLanguage(), UiLanguage::Russian);
    EXPECT_EQ(widget<QGroupBox>("GroupBox_DeviceInfo")->title(), "Verimant - T23");
    EXPECT_EQ(verimant::test::shownText(toggle->text()), "RUS");
    EXPECT_EQ(storedLanguage(), "1");
}

TEST_F(LanguageTest, NewRunStartsInTheStoredLanguage) {
    action("Action_Language")->trigger();
    window.reset();

    setUiLanguage(UiLanguage::Russian);  // as a new process starts
    MainWindow next;
    next.FormCreate();
    EXPECT_EQ(uiLanguage(), UiLanguage::English);
    EXPECT_EQ(next.findChild<QAction*>("Action_Language")->text(), "ENG");
    expectLanguage(next, true);
}

}  // namespace
}  // namespace verimant::test
