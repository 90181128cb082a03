#pragma once

namespace verimant {

class ActivityLog;
class DeviceProtocol;
class DeviceCommands;
struct LinkFlags;

// What every operation on the instrument works with: the run's log, the protocol on the open port,
// the command set with its cached records, and the link flags. Owned by the main window (or the
// command-line tool) for the whole run.
struct DeviceSession {
    ActivityLog& log;
    DeviceProtocol& protocol;
    DeviceCommands& commands;
    LinkFlags& flags;
};

}  // namespace verimant
