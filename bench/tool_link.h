#pragma once

#include "base/activity_log.h"
#include "device/device_session.h"
#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "link/link_flags.h"

#include <QString>

namespace verimant::bench {

// The tool's side of a benchmark: the protocol on the simulator's port, the command set, and the
// session that the instrument operations take, as the main window holds them.
class ToolLink {
public:
    ToolLink() = default;
    ToolLink(const ToolLink&) = delete;
    ToolLink& operator=(const ToolLink&) = delete;

    bool open(int portNumber, QString* error);

    DeviceProtocol& protocol() { return protocol_; }
    DeviceCommands& commands() { return commands_; }
    DeviceSession& session() { return session_; }

private:
    ActivityLog log_;
    DeviceProtocol protocol_;
    DeviceCommands commands_{protocol_};
    LinkFlags flags_;
    DeviceSession session_{log_, protocol_, commands_, flags_};
};

}  // namespace verimant::bench
