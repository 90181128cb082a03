#include "ui/connection_menu.h"

#include "link/connection_manager.h"
#include "ui/main_window.h"

#include <QMenu>

namespace verimant {

ConnectionMenu::ConnectionMenu(MainWindow& window, ConnectionManager& manager)
    : window_(window), manager_(manager) {
    const MainActions& a = window.actions();
    connect(a.Action_Connection_Auto, &QAction::triggered, this,
            &ConnectionMenu::Action_Connection_AutoExecute);
    connect(a.Action_Connection_Manual, &QAction::triggered, this,
            &ConnectionMenu::Action_Connection_ManualExecute);
    connect(a.Action_Connection_Manual_Number, &QAction::triggered, this,
            &ConnectionMenu::Action_Connection_Manual_NumberExecute);
    a.Action_Connection_Manual_List->setEnabled(false);
    connectUpdateRule();
}

void ConnectionMenu::connectUpdateRule() {
    // The manual entry is refreshed whenever a menu that holds it opens, which is always before
    // the user can reach the number item below it.
    for (QMenu* holder : {window_.menus().N_Nastroiki, window_.menus().PopupMenu1}) {
        if (holder == nullptr) {
            continue;
        }
        connect(holder, &QMenu::aboutToShow, this, &ConnectionMenu::Action_Connection_ManualUpdate);
        for (QMenu* submenu : holder->findChildren<QMenu*>()) {
            connect(submenu, &QMenu::aboutToShow, this,
                    &ConnectionMenu::Action_Connection_ManualUpdate);
        }
    }
}

void ConnectionMenu::Action_Connection_AutoExecute() {
    window_.actions().Action_Connection_Auto->setChecked(true);
    manager_.chooseAutomatic();
}

void ConnectionMenu::Action_Connection_ManualExecute() {
    QMenu* list = window_.menus().Menu_PP_Manual_List;
    if (list == nullptr) {
        return;
    }
    list->clear();
    for (int n = 0; n < kPortListEntries; ++n) {
        list->addAction(QString::number(n));
    }
}

void ConnectionMenu::Action_Connection_ManualUpdate() {
    autoCheckedAtUpdate_ = window_.actions().Action_Connection_Auto->isChecked();
}

void ConnectionMenu::Action_Connection_Manual_NumberExecute() {
    const MainActions& a = window_.actions();
    switch (manager_.askManualPortNumber()) {
        case ConnectionManager::PortNumberEntry::Accepted:
            a.Action_Connection_Manual->setChecked(true);
            a.Action_Connection_Manual->setText(manager_.manualCaption());
            break;
        case ConnectionManager::PortNumberEntry::Cancelled:
            a.Action_Connection_Auto->setChecked(autoCheckedAtUpdate_);
            break;
        case ConnectionManager::PortNumberEntry::Rejected:
            break;
    }
}

}  // namespace verimant
