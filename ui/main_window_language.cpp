#include "ui/accessible_texts.h"
#include "ui/action_item.h"
#include "ui/data_source_setting.h"
#include "ui/main_window.h"
#include "ui/mnemonic_text.h"
#include "ui/toolkit_translation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

namespace verimant {

namespace {

struct TranslatedText {
    const char* control;
    const char* russian;
    const char* english;
};

// The controls whose texts follow the interface language, in the order they are written. The
// log toggle's entry is a fallback that its update rule replaces at once.
const TranslatedText kTranslatedTexts[] = {
    {"Action_Menu_File", "Файл", "File"},
    {"Action_Menu_Connection", "Соединение", "Connection"},
    {"Action_Menu_Help", "Помощь", "Help"},
    {"Action_Exit", "Выход", "Exit"},
    {"Action_History", "История", "History"},
    {"Action_Log_Visible", "Скрыть//Показать ЛОГ", "Hide//Show Report"},
    {"Action_LOG_Clear", "Очистить лог", "Clear Report"},
    {"Action_Connection_Auto", "Автоматическое", "Auto"},
    {"Action_Connection_Manual", "Вручную", "Manual"},
    {"Action_Connection_Manual_Number", "Номер порта :", "Port Number :"},
    {"Action_Connection_Manual_List", "Выбрать из списка :", "Choose from the List :"},
    {"Action_Verify_Writes", "Проверять запись", "Verify writes"},
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
    {"MainMenu_Data_Source_Note", "Выбор действует со следующего запуска",
     "The choice applies from the next start"},
    {"PopupMenu_Log_Save", "Сохранить", "Save"},
};

void writeText(QObject* control, const QString& text) {
    if (auto* action = qobject_cast<QAction*>(control)) {
        // A plain menu item carries its own mnemonic; actions lend theirs to their items.
        const bool menuItem = qobject_cast<QMenu*>(action->parent()) != nullptr;
        action->setText(menuItem ? mnemonicText(action, text) : text);
    } else if (auto* menu = qobject_cast<QMenu*>(control)) {
        menu->setTitle(mnemonicText(menu->menuAction(), text));
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    }
}

// The device group's caption names the connected model once the instrument has been read; only
// its default caption follows the language.
bool showsOwnText(QObject* control, const TranslatedText& row) {
    auto* group = qobject_cast<QGroupBox*>(control);
    if (group == nullptr || group->objectName() != QLatin1String("GroupBox_DeviceInfo")) {
        return false;
    }
    const QString shown = group->title();
    return !shown.isEmpty() && shown != QString::fromUtf8(row.russian) &&
           shown != QString::fromUtf8(row.english);
}

}  // namespace

void MainWindow::ApplyLanguage(UiLanguage language) {
    // The pairs are resolved in the language in force; make that the one being applied, so the
    // toggle and the texts can never disagree.
    setUiLanguage(language);
    applyToolkitLanguage(language);
    const bool english = language == UiLanguage::English;
    actions_.Action_Language->setText(english ? QStringLiteral("ENG") : QStringLiteral("RUS"));
    actions_.Action_Language->setIcon(
        images_.icon(english ? ImageList::BritishFlag : ImageList::RussianFlag));
    for (const TranslatedText& row : kTranslatedTexts) {
        QObject* control = findChild<QObject*>(QString::fromLatin1(row.control));
        if (showsOwnText(control, row)) {
            continue;
        }
        writeText(control,
                  PickText(QString::fromUtf8(row.russian), QString::fromUtf8(row.english)));
    }
    Action_Log_VisibleUpdate();
    showDataSourceTexts(actions_);
    applyAccessibleTexts(this);
    refreshMnemonics(menuBar());
    for (QMenu* menu : findChildren<QMenu*>()) {
        refreshMnemonics(menu);
    }
    // The run's other windows are top-level windows of their own; they follow the switch too.
    for (QWidget* other : QApplication::topLevelWidgets()) {
        if (other != this) {
            QEvent change(QEvent::LanguageChange);
            QCoreApplication::sendEvent(other, &change);
        }
    }
}

}  // namespace verimant
