#pragma once

#include "base/activity_log.h"
#include "cli/cli_options.h"
#include "cli/json_result.h"
#include "cli/terminal_dialogs.h"
#include "device/device_session.h"
#include "device/write_options.h"
#include "link/connection_manager.h"
#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "link/link_flags.h"

#include <QTimer>

#include <cstdio>
#include <memory>

namespace verimant::cli {

// The objects of one command-line run, wired as the window wires them: the log goes to standard
// output as lines are appended, boxes and progress to standard error. With --json standard output
// carries only the run's document, and the log and the commands' own lines go to standard error.
class CliRun {
public:
    CliRun(const CliOptions& options, std::FILE* out, std::FILE* err);
    ~CliRun();

    // Puts the connection manager into manual mode on COM `port`, as the window's number dialog
    // does, and runs its first tick at once. False, with an error line on standard error, when no
    // instrument answers there.
    bool connect(int port);

    // Runs the connection timer, as the window does all the time. A command needs it only while
    // a mode switch waits for the restarted instrument; elsewhere its link tests would only
    // interleave with the command's own requests.
    void watchLink(bool on);

    // True when `path` is a file that can be read; otherwise says so on standard error. Checked
    // before the instrument is restarted for a write, so a mistyped name leaves it as it was.
    bool readableFile(const QString& path);

    // The command line this run was started with; commands read their own options here.
    const CliOptions& options() const { return options_; }
    // How the firmware writers go about their files: they read back what they wrote unless
    // --no-verify says otherwise (--verify, the default, is still taken), --write-all also sends
    // the chunks that only repeat the erased flash.
    WriteOptions writeOptions() const {
        return {.verify = !options_.isSet(QStringLiteral("no-verify")),
                .writeAll = options_.isSet(QStringLiteral("write-all"))};
    }
    DeviceSession& session() { return session_; }
    ActivityLog& log() { return log_; }
    TerminalDialogs& dialogs() { return dialogs_; }
    // Where the log and a command's report lines go: standard output, or with --json standard
    // error.
    std::FILE* out() const { return out_; }
    std::FILE* err() const { return err_; }

    bool jsonWanted() const { return jsonWanted_; }
    // The document of a --json run; commands fill it whether or not it is printed.
    JsonResult& json() { return json_; }
    // Prints the document on the real standard output, once the command is done; nothing
    // without --json.
    void printJson(const QString& command, int exitCode);

private:
    void printLine(const QString& line, bool replacing);

    CliOptions options_;
    bool jsonWanted_;
    std::FILE* documentOut_;
    std::FILE* out_;
    std::FILE* err_;
    bool outIsTerminal_;
    TerminalDialogs dialogs_;
    JsonResult json_;
    ActivityLog log_;
    DeviceProtocol protocol_;
    DeviceCommands commands_;
    LinkFlags flags_;
    DeviceSession session_;
    ConnectionManager manager_;
    QTimer connectionTimer_;
};

}  // namespace verimant::cli
