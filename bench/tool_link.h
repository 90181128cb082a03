#pragma once

#include "base/activity_log.h"
#include "device/device_session.h"
#include "link/connection_manager.h"
#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "link/link_flags.h"

#include <QString>
#include <QTimer>

namespace verimant::bench {

// The tool's side of a benchmark: the protocol on the simulator's port, the command set, the
// session that the instrument operations take and the connection manager, as the main window holds
// them.
class ToolLink {
public:
    ToolLink() = default;
    ToolLink(const ToolLink&) = delete;
    ToolLink& operator=(const ToolLink&) = delete;

    // Opens the port directly; nothing watches the link.
    bool open(int portNumber, QString* error);
    // Lets the connection manager open the port and watch it, as the window does, so instrument
    // restarts are followed; false when the instrument does not answer. The timer is not started.
    bool watchPort(int portNumber);

    DeviceProtocol& protocol() { return protocol_; }
    DeviceCommands& commands() { return commands_; }
    DeviceSession& session() { return session_; }
    ActivityLog& log() { return log_; }
    QTimer& connectionTimer() { return timer_; }

private:
    ActivityLog log_;
    DeviceProtocol protocol_;
    DeviceCommands commands_{protocol_};
    LinkFlags flags_;
    DeviceSession session_{log_, protocol_, commands_, flags_};
    ConnectionManager manager_{protocol_, flags_, log_};
    QTimer timer_;
};

}  // namespace verimant::bench
