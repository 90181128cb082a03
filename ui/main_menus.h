#pragma once

#include <QMenu>
#include <QMenuBar>

namespace verimant {

struct MainActions;

// MainMenu1, PopupMenu1 and PopupMenu_Log, built from the actions. The items are named after
// their menu and action ("PopupMenu_Log_Clear") so that they can be found.
struct MainMenus {
    QMenu* MainMenu_File = nullptr;
    QMenu* N_Nastroiki = nullptr;
    QMenu* MainMenu_Help = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* PopupMenu_Log = nullptr;
    // The port list under the popup's manual entry; the connection manager refills it.
    QMenu* Menu_PP_Manual_List = nullptr;
};

// Fills `bar` with the main menu; the popup menus are owned by `popupOwner`.
MainMenus buildMainMenus(QMenuBar* bar, QWidget* popupOwner, const MainActions& actions);

}  // namespace verimant
