#include "ui/main_menus.h"

#include "ui/action_item.h"
#include "ui/action_table.h"

#include <QActionGroup>

namespace verimant {

namespace {

// Radio items show a dot rather than a tick; their marks still follow the actions.
void makeRadioItems(QObject* owner, std::initializer_list<QAction*> items) {
    auto* group = new QActionGroup(owner);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (QAction* item : items) {
        group->addAction(item);
        if (ItemBinding* binding = ItemBinding::of(item)) {
            binding->sync();  // joining a group can move the marks
        }
    }
}

QMenu* buildFileMenu(QMenuBar* bar, const MainActions& a) {
    QMenu* file = addActionSubmenu(bar, a.Action_Menu_File, QStringLiteral("MainMenu_File"));
    addActionItem(file, a.Action_Log_Visible, QStringLiteral("MainMenu_File_Log_Visible"));
    addActionItem(file, a.Action_History, QStringLiteral("MainMenu_File_History"));
    file->addSeparator();
    addActionItem(file, a.Action_Exit, QStringLiteral("MainMenu_File_Exit"));
    return file;
}

QMenu* buildSettingsMenu(QMenuBar* bar, const MainActions& a) {
    auto* settings = new QMenu(QStringLiteral("Настройки"), bar);
    settings->setObjectName(QStringLiteral("N_Nastroiki"));
    bar->addMenu(settings);

    QMenu* connection =
        addActionSubmenu(settings, a.Action_Menu_Connection, QStringLiteral("MainMenu_Connection"));
    QAction* autoItem = addActionItem(connection, a.Action_Connection_Auto,
                                      QStringLiteral("MainMenu_Connection_Auto"));
    QMenu* manual = addActionSubmenu(connection, a.Action_Connection_Manual,
                                     QStringLiteral("MainMenu_Connection_Manual"));
    makeRadioItems(connection, {autoItem, manual->menuAction()});
    addActionItem(manual, a.Action_Connection_Manual_Number,
                  QStringLiteral("MainMenu_Connection_Manual_Number"));
    addActionItem(manual, a.Action_Connection_Manual_List,
                  QStringLiteral("MainMenu_Connection_Manual_List"));

    addActionItem(settings, a.Action_Verify_Writes, QStringLiteral("MainMenu_Verify_Writes"));

    QMenu* source =
        addActionSubmenu(settings, a.Action_Data_Source, QStringLiteral("MainMenu_Data_Source"));
    addActionItem(source, a.Action_Data_Source_Internet,
                  QStringLiteral("MainMenu_Data_Source_Internet"));
    addActionItem(source, a.Action_Data_Source_Local, QStringLiteral("MainMenu_Data_Source_Local"));
    // A run keeps the source its start-up found; the menu says so where the choice is made.
    source->addSeparator();
    QAction* note = source->addAction(QStringLiteral("Выбор действует со следующего запуска"));
    note->setObjectName(QStringLiteral("MainMenu_Data_Source_Note"));
    note->setEnabled(false);
    return settings;
}

// Blank items that only take room, so that the language toggle stands apart on the right.
void addSpacer(QMenuBar* bar, int blanks, const QString& name) {
    auto* spacer = new QAction(QString(blanks, QLatin1Char(' ')), bar);
    spacer->setObjectName(name);
    spacer->setEnabled(false);
    bar->addAction(spacer);
}

QMenu* buildWorkAreaPopup(QWidget* owner, const MainActions& a, QMenu*& portList) {
    auto* popup = new QMenu(owner);
    popup->setObjectName(QStringLiteral("PopupMenu1"));
    addActionItem(popup, a.Action_Log_Visible, QStringLiteral("PopupMenu1_Log_Visible"));
    popup->addSeparator();
    QAction* autoItem = addActionItem(popup, a.Action_Connection_Auto,
                                      QStringLiteral("PopupMenu1_Connection_Auto"));
    QMenu* manual = addActionSubmenu(popup, a.Action_Connection_Manual,
                                     QStringLiteral("PopupMenu1_Connection_Manual"));
    makeRadioItems(popup, {autoItem, manual->menuAction()});
    addActionItem(manual, a.Action_Connection_Manual_Number,
                  QStringLiteral("PopupMenu1_Connection_Manual_Number"));
    portList = addActionSubmenu(manual, a.Action_Connection_Manual_List,
                                QStringLiteral("Menu_PP_Manual_List"));
    return popup;
}

QMenu* buildLogPopup(QWidget* owner, const MainActions& a) {
    auto* popup = new QMenu(owner);
    popup->setObjectName(QStringLiteral("PopupMenu_Log"));
    addActionItem(popup, a.Action_Log_Visible, QStringLiteral("PopupMenu_Log_Visible"));
    QAction* clear =
        addActionItem(popup, a.Action_LOG_Clear, QStringLiteral("PopupMenu_Log_Clear"));
    ItemBinding::of(clear)->setItemEnabled(false);
    QAction* save = popup->addAction(QStringLiteral("Сохранить"));
    save->setObjectName(QStringLiteral("PopupMenu_Log_Save"));
    save->setEnabled(false);
    return popup;
}

}  // namespace

MainMenus buildMainMenus(QMenuBar* bar, QWidget* popupOwner, const MainActions& a) {
    MainMenus menus;
    bar->setObjectName(QStringLiteral("MainMenu1"));
    menus.MainMenu_File = buildFileMenu(bar, a);
    menus.N_Nastroiki = buildSettingsMenu(bar, a);
    menus.MainMenu_Help =
        addActionSubmenu(bar, a.Action_Menu_Help, QStringLiteral("MainMenu_Help"));
    ItemBinding::of(menus.MainMenu_Help->menuAction())->setItemVisible(false);
    addSpacer(bar, 24, QStringLiteral("MainMenu_Spacer1"));
    addSpacer(bar, 20, QStringLiteral("MainMenu_Spacer2"));
    addActionItem(bar, a.Action_Language, QStringLiteral("MainMenu_Language"));
    menus.PopupMenu1 = buildWorkAreaPopup(popupOwner, a, menus.Menu_PP_Manual_List);
    menus.PopupMenu_Log = buildLogPopup(popupOwner, a);
    for (QMenu* menu :
         {menus.MainMenu_File, menus.N_Nastroiki, menus.PopupMenu1, menus.PopupMenu_Log}) {
        QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] { refreshMnemonics(menu); });
    }
    return menus;
}

}  // namespace verimant
