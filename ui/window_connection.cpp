#include "ui/window_connection.h"

#include "ui/bottom_panel.h"
#include "ui/connection_menu.h"
#include "ui/main_window.h"

namespace verimant {

WindowConnection::WindowConnection(MainWindow& window)
    : window_(window), manager_(protocol_, flags_, window.activityLog()) {
    ActivityLog& log = window.activityLog();
    protocol_.setLogSink([&log](const QString& line) { log.AddLine(line); });
    manager_.setStatusView(this);
    manager_.attachTimer(window.connectionTimer());
    window.setDeviceConnectedQuery([this] { return flags_.deviceConnected; });
    menu_ = std::make_unique<ConnectionMenu>(window, manager_);
}

// Destroyed with the window, after its run has ended: nothing is painted any more.
WindowConnection::~WindowConnection() {
    manager_.setStatusView(nullptr);
}

void WindowConnection::showConnectionState(LinkState, const QString& text,
                                           std::uint32_t bgrColour) {
    window_.setPanelConnection(text, colourFromBgr(bgrColour));
}

void WindowConnection::showComText(const QString& text) {
    window_.setPanelComText(text);
}

}  // namespace verimant
