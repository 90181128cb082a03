#pragma once

#include "base/activity_log.h"
#include "cli/terminal_dialogs.h"
#include "device/device_session.h"
#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "link/link_flags.h"

#include <cstdio>
#include <memory>

namespace verimant::cli {

// The objects of one command-line run, wired as the window wires them: the log goes to standard
// output as lines are appended, boxes and progress to standard error.
class CliRun {
public:
    CliRun(bool assumeYes, std::FILE* out, std::FILE* err);
    ~CliRun();

    // Opens COM `port` and waits until the instrument answers the link test, as the window's
    // manual mode does. False (with an error line on standard error) when it does not.
    bool connect(int port);

    DeviceSession& session() { return session_; }
    ActivityLog& log() { return log_; }
    TerminalDialogs& dialogs() { return dialogs_; }
    std::FILE* out() const { return out_; }
    std::FILE* err() const { return err_; }

private:
    void printLine(const QString& line, bool replacing);

    std::FILE* out_;
    std::FILE* err_;
    bool outIsTerminal_;
    TerminalDialogs dialogs_;
    ActivityLog log_;
    DeviceProtocol protocol_;
    DeviceCommands commands_;
    LinkFlags flags_;
    DeviceSession session_;
};

}  // namespace verimant::cli
