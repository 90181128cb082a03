#include "ui/action_table.h"

#include "ui/data_source_setting.h"
#include "ui/history_window.h"
#include "ui/image_list.h"

#include <QWidget>

namespace verimant {

namespace {

constexpr int kNoIcon = -1;

QAction* makeAction(QWidget* window, const ImageList& images, const char* name,
                    const QString& caption, int icon) {
    auto* action = new QAction(caption, window);
    action->setObjectName(QString::fromLatin1(name));
    if (icon != kNoIcon) {
        action->setIcon(images.icon(icon));
    }
    window->addAction(action);
    return action;
}

QAction* makeCheckable(QWidget* window, const ImageList& images, const char* name,
                       const QString& caption, bool checked) {
    QAction* action = makeAction(window, images, name, caption, kNoIcon);
    action->setCheckable(true);
    action->setChecked(checked);
    return action;
}

}  // namespace

MainActions createMainActions(QWidget* window, const ImageList& images) {
    MainActions a;
    a.Action_Log_Visible = makeAction(window, images, "Action_Log_Visible",
                                      QStringLiteral("Закрыть/показать ЛОГ"), ImageList::BookGrey);
    a.Action_LOG_Clear = makeAction(window, images, "Action_LOG_Clear",
                                    QStringLiteral("Очистить лог"), ImageList::Pencil);
    a.Action_Exit =
        makeAction(window, images, "Action_Exit", QStringLiteral("Выход"), ImageList::Door);
    a.Action_Exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    // Only reads the history, so it needs nothing of the window but a parent.
    a.Action_History = makeAction(window, images, "Action_History", QStringLiteral("История"),
                                  ImageList::BookGrey);
    QObject::connect(a.Action_History, &QAction::triggered, window,
                     [window] { showHistoryWindow(window); });
    a.Action_Menu_File =
        makeAction(window, images, "Action_Menu_File", QStringLiteral("Файл"), kNoIcon);
    a.Action_Menu_Connection =
        makeAction(window, images, "Action_Menu_Connection", QStringLiteral("Соединение"), kNoIcon);
    a.Action_Menu_Help =
        makeAction(window, images, "Action_Menu_Help", QStringLiteral("Помощь"), kNoIcon);

    a.Action_Connection_Auto = makeCheckable(window, images, "Action_Connection_Auto",
                                             QStringLiteral("Автоматическое"), true);
    a.Action_Connection_Manual =
        makeCheckable(window, images, "Action_Connection_Manual", QStringLiteral("Вручную"), false);
    a.connectionModeGroup = new QActionGroup(window);
    a.connectionModeGroup->setObjectName(QStringLiteral("ConnectionModeGroup"));
    a.connectionModeGroup->addAction(a.Action_Connection_Auto);
    a.connectionModeGroup->addAction(a.Action_Connection_Manual);

    // Radio group 2 never carries a check mark: the port number is shown in the manual caption.
    a.Action_Connection_Manual_Number =
        makeAction(window, images, "Action_Connection_Manual_Number",
                   QStringLiteral("Номер порта :"), kNoIcon);
    a.Action_Connection_Manual_List = makeAction(window, images, "Action_Connection_Manual_List",
                                                 QStringLiteral("Выбрать из списка :"), kNoIcon);
    a.Action_Connection_Manual_List->setEnabled(false);

    a.Action_Data_Source = makeAction(window, images, "Action_Data_Source",
                                      QStringLiteral("Источник данных"), ImageList::Globe);
    a.Action_Data_Source_Internet = makeCheckable(window, images, "Action_Data_Source_Internet",
                                                  QStringLiteral("Интернет"), true);
    a.Action_Data_Source_Local = makeCheckable(window, images, "Action_Data_Source_Local",
                                               QStringLiteral("Локальный"), false);
    bindDataSourceSetting(a, images);

    a.Action_Verify_Writes = makeCheckable(window, images, "Action_Verify_Writes",
                                           QStringLiteral("Проверять запись"), true);

    a.Action_Language = makeAction(window, images, "Action_Language", QStringLiteral("РУС"),
                                   ImageList::RussianFlag);
    return a;
}

}  // namespace verimant
