#pragma once

#include "link/connection_manager.h"
#include "link/connection_status_view.h"
#include "link/device_protocol.h"
#include "link/link_flags.h"

#include <QObject>

#include <memory>

namespace verimant {

class ConnectionMenu;
class MainWindow;

// The window's device link: the protocol on the one serial port, the link flags and the connection
// manager. It paints the link state into Panel_Connection and Panel_COM, lets Timer_Connection
// drive the manager, answers the upgrade button's "is an instrument connected" and runs the
// connection menu. Starting the timer is left to the start-up sequence.
class WindowConnection : public QObject, public ConnectionStatusView {
    Q_OBJECT
public:
    explicit WindowConnection(MainWindow& window);
    ~WindowConnection() override;

    DeviceProtocol& protocol() { return protocol_; }
    LinkFlags& flags() { return flags_; }
    ConnectionManager& manager() { return manager_; }
    ConnectionMenu& menu() { return *menu_; }

    void showConnectionState(LinkState state, const QString& text,
                             std::uint32_t bgrColour) override;
    void showComText(const QString& text) override;

    // Ticks of NOK after which the operator is told about a port the search leaves alone.
    static constexpr int kHintAfterNokTicks = 6;

private:
    void adviseOnLongNok();

    MainWindow& window_;
    DeviceProtocol protocol_;
    LinkFlags flags_;
    ConnectionManager manager_;
    std::unique_ptr<ConnectionMenu> menu_;
    int nokTicks_ = 0;
};

}  // namespace verimant
