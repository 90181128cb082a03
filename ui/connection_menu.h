#pragma once

#include <QObject>

namespace verimant {

class ConnectionManager;
class MainWindow;

// The connection entries of the main menu and the work area's popup: automatic search, the manual
// port number, and the port list under the manual entry (which is never enabled).
class ConnectionMenu : public QObject {
    Q_OBJECT
public:
    static constexpr int kPortListEntries = 10;

    ConnectionMenu(MainWindow& window, ConnectionManager& manager);

    // Handlers, callable as the actions call them.
    void Action_Connection_AutoExecute();
    // Refills the popup's port list with the entries 0 .. 9, which do nothing.
    void Action_Connection_ManualExecute();
    // Remembers the automatic entry's check mark, which Cancel in the number dialog restores.
    void Action_Connection_ManualUpdate();
    void Action_Connection_Manual_NumberExecute();

private:
    void connectUpdateRule();

    MainWindow& window_;
    ConnectionManager& manager_;
    bool autoCheckedAtUpdate_ = true;
};

}  // namespace verimant
