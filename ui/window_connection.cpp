#include "ui/window_connection.h"

#include "ui/bottom_panel.h"
#include "ui/connection_menu.h"
#include "ui/main_window.h"

#include "base/ui_language.h"

#include <QTimer>

namespace verimant {

WindowConnection::WindowConnection(MainWindow& window)
    : window_(window), manager_(protocol_, flags_, window.activityLog()) {
    ActivityLog& log = window.activityLog();
    protocol_.setLogSink([&log](const QString& line) { log.AddLine(line); });
    manager_.setStatusView(this);
    manager_.attachTimer(window.connectionTimer());
    window.setDeviceConnectedQuery([this] { return flags_.deviceConnected; });
    menu_ = std::make_unique<ConnectionMenu>(window, manager_);
    // Connected after the manager, so it sees the state that tick left.
    connect(&window.connectionTimer(), &QTimer::timeout, this, &WindowConnection::adviseOnLongNok);
}

// An instrument plugged in before the start is left alone by the automatic search (the ports
// present then may belong to other equipment); without a word the operator sees only NOK.
void WindowConnection::adviseOnLongNok() {
    if (flags_.deviceConnected) {
        nokTicks_ = 0;
        return;
    }
    if (++nokTicks_ != kHintAfterNokTicks) {
        return;
    }
    const QList<int> ports = manager_.portsLeftAlone();
    if (ports.isEmpty()) {
        nokTicks_ = 0;  // look again a few seconds later
        return;
    }
    QStringList names;
    for (const int port : ports) {
        names << QStringLiteral("COM %1").arg(port);
    }
    const QString list = names.join(QStringLiteral(", "));
    window_.setBottomInfoText(PickText(
        QStringLiteral("Прибор не найден. %1 был до запуска и не проверяется: переподключите "
                       "прибор или выберите порт в меню Настройки > Соединение > Вручную")
            .arg(list),
        QStringLiteral("No instrument found. %1 existed before the start and is not searched: "
                       "replug the instrument or choose the port in Settings > Connection > "
                       "Manual")
            .arg(list)));
    window_.activityLog().AddLine(QStringLiteral("==>NOK: ") + list +
                                  QStringLiteral(" present since the start, not searched; "
                                                 "replug the instrument or choose the port"));
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
