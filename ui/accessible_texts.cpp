#include "ui/accessible_texts.h"

#include "base/ui_language.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

namespace verimant {

namespace {

struct AccessibleText {
    const char* window;
    const char* control;
    const char* russianName;  // empty: the control's visible text names it
    const char* englishName;
    const char* russianDescription;
    const char* englishDescription;
};

const AccessibleText kAccessibleTexts[] = {
    {"Form1", "MainMenu1", "Главное меню", "Main menu", "Файл, настройки и язык интерфейса",
     "File, settings and interface language"},
    {"Form1", "Panel_Main", "Рабочая область", "Work area", "Контекстное меню: лог и выбор порта",
     "Context menu: report and port choice"},
    {"Form1", "BitBtn_ReNewDeviceInfo", "", "", "Обновить подключённый прибор",
     "Upgrade the connected instrument"},
    {"Form1", "ST_DI_Serial_Number", "Серийный номер", "Serial number",
     "Серийный номер подключённого прибора", "Serial number of the connected instrument"},
    {"Form1", "ST_DI_UID", "UID", "UID", "Уникальный номер процессора прибора",
     "Unique identifier of the instrument's processor"},
    {"Form1", "ST_DI_Board_Version", "Версия платы", "Board version", "Версия платы прибора",
     "Version of the instrument's board"},
    {"Form1", "ST_DI_Board_Assembling", "Код сборки", "Assembling code", "Код сборки платы прибора",
     "Assembling code of the instrument's board"},
    {"Form1", "ST_DI_SW_Boot", "BOOT", "BOOT", "Версия загрузчика прибора",
     "Version of the instrument's boot loader"},
    {"Form1", "ST_DI_SW_KMT2", "KMT2", "KMT2", "Версия основной программы прибора",
     "Version of the instrument's main firmware"},
    {"Form1", "ST_DI_SW_External", "Ext Data", "Ext Data", "Версия внешних данных прибора",
     "Version of the instrument's external data"},
    {"Form1", "Panel_COM", "Порт", "Port", "Последовательный порт прибора",
     "Serial port of the instrument"},
    {"Form1", "Panel_Connection", "Связь", "Link", "Состояние связи с прибором: OK или NOK",
     "State of the link to the instrument: OK or NOK"},
    {"Form1", "Panel_Bottom_Info_Text", "Состояние", "Status", "Ход текущей работы",
     "What the tool is doing now"},
    {"Form1", "ProgressBar_Bottom_Info", "Ход", "Progress", "Ход текущей передачи в процентах",
     "Progress of the current transfer in per cent"},
    {"Form1", "Memo_Log", "Лог", "Report", "Записи о работе программы",
     "What the tool has done in this run"},
    {"Form1", "Splitter_Log", "Граница лога", "Report border", "Меняет ширину лога",
     "Changes the width of the report"},
    {"Form2", "ComboBox1", "Языковой набор", "Language packet", "Набор языков для записи в прибор",
     "Set of languages to write into the instrument"},
    {"Form2", "Memo1", "Описание набора", "Packet description", "Языки выбранного набора",
     "Languages of the chosen packet"},
    {"Form2", "BitBtn1", "", "", "Записать выбранный набор", "Write the chosen packet"},
    {"Form2", "BitBtn2", "", "", "Отменить обновление", "Cancel the upgrade"},
    {"Form4", "StaticText1", "Текущий язык", "Current language", "Язык прибора сейчас",
     "The instrument's language now"},
    {"Form4", "ComboBox1", "Новый язык", "New language", "Язык, который будет установлен",
     "The language to set"},
    {"Form4", "BitBtn2", "", "", "Установить выбранный язык", "Set the chosen language"},
    {"Form4", "BitBtn1", "", "", "Оставить язык прибора", "Keep the instrument's language"},
};

}  // namespace

void applyAccessibleTexts(QWidget* window) {
    for (const AccessibleText& row : kAccessibleTexts) {
        if (window->objectName() != QLatin1String(row.window)) {
            continue;
        }
        auto* control = window->findChild<QWidget*>(QString::fromLatin1(row.control));
        if (control == nullptr) {
            continue;
        }
        const QString name =
            PickText(QString::fromUtf8(row.russianName), QString::fromUtf8(row.englishName));
        if (!name.isEmpty()) {
            control->setAccessibleName(name);
        }
        const QString description = PickText(QString::fromUtf8(row.russianDescription),
                                             QString::fromUtf8(row.englishDescription));
        control->setAccessibleDescription(description);
        // A drop-down list's own parts (its popup list, its edit field) are reached on their own.
        if (auto* combo = qobject_cast<QComboBox*>(control)) {
            for (QWidget* part :
                 {static_cast<QWidget*>(combo->view()), static_cast<QWidget*>(combo->lineEdit())}) {
                if (part != nullptr) {
                    part->setAccessibleName(combo->accessibleName());
                    part->setAccessibleDescription(description);
                }
            }
        }
    }
}

}  // namespace verimant
