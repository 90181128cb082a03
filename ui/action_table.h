#pragma once

#include <QAction>
#include <QActionGroup>

namespace verimant {

class ImageList;

// ActionList1: every command of the main window. Menus and buttons only point at these actions
// (see action_item.h); each action carries its objectName, caption, icon, shortcut and check
// mark. The window connects the effects; the connection manager connects the connection actions.
struct MainActions {
    QAction* Action_Log_Visible = nullptr;
    QAction* Action_LOG_Clear = nullptr;
    QAction* Action_Exit = nullptr;
    QAction* Action_History = nullptr;
    QAction* Action_Menu_File = nullptr;
    QAction* Action_Menu_Connection = nullptr;
    QAction* Action_Menu_Help = nullptr;
    QAction* Action_Connection_Auto = nullptr;
    QAction* Action_Connection_Manual = nullptr;
    QAction* Action_Connection_Manual_Number = nullptr;
    QAction* Action_Connection_Manual_List = nullptr;
    QAction* Action_Data_Source = nullptr;
    QAction* Action_Data_Source_Internet = nullptr;
    QAction* Action_Data_Source_Local = nullptr;
    QAction* Action_Verify_Writes = nullptr;
    QAction* Action_Language = nullptr;

    // Radio group 1: automatic and manual connection; one check mark between them.
    QActionGroup* connectionModeGroup = nullptr;
};

// Creates the actions as children of `window` and adds them to it, so that their shortcuts work
// anywhere in the window. The data-source pair gets its own effect here, since it touches
// nothing but actions.
MainActions createMainActions(QWidget* window, const ImageList& images);

}  // namespace verimant
