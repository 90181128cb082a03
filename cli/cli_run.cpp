#include "cli/cli_run.h"

#include "base/ui_language.h"
#include "cli/terminal_text.h"
#include "platform/port_access.h"
#include "platform/port_map.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <unistd.h>

namespace verimant::cli {

CliRun::CliRun(const CliOptions& options, std::FILE* out, std::FILE* err)
    : options_(options),
      jsonWanted_(options.isSet(QStringLiteral("json"))),
      documentOut_(out),
      out_(jsonWanted_ ? err : out),
      err_(err),
      outIsTerminal_(isatty(fileno(out_)) != 0),
      dialogs_(options.assumeYes, stdin, err),
      commands_(protocol_),
      session_{log_, protocol_, commands_, flags_},
      manager_(protocol_, flags_, log_) {
    // Messages follow the operator's language choice from the window.
    LoadLanguage();
    if (jsonWanted_) {
        dialogs_.disableProgressBar();
    }
    dialogs_.setMessageObserver(
        [this](const QString& kind, const QString& text) { json_.noteMessage(kind, text); });
    installUserDialogs(&dialogs_);
    installProgressView(&dialogs_);
    protocol_.setLogSink([this](const QString& line) { log_.AddLine(line); });
    manager_.attachTimer(connectionTimer_);
    QObject::connect(&log_, &ActivityLog::lineAppended,
                     [this](const QString& line) { printLine(line, false); });
    QObject::connect(&log_, &ActivityLog::lastLineReplaced,
                     [this](const QString& line) { printLine(line, true); });
}

CliRun::~CliRun() {
    connectionTimer_.stop();
    protocol_.close();
    installUserDialogs(nullptr);
    installProgressView(nullptr);
}

// Progress lines that the writers rewrite in place are rewritten on a terminal too; in a pipe
// every state is kept as its own line.
void CliRun::printLine(const QString& line, bool replacing) {
    // A rewritten progress line sits right above the open status line and is reached from there;
    // a new line must not be glued onto the status line.
    if (!replacing) {
        dialogs_.endProgressLine();
    }
    const QByteArray text = terminalText(line);
    if (replacing && outIsTerminal_) {
        std::fprintf(out_, "\033[1A\r\033[K%s\n", text.constData());
    } else {
        std::fprintf(out_, "%s\n", text.constData());
    }
    std::fflush(out_);
}

void CliRun::printJson(const QString& command, int exitCode) {
    if (!jsonWanted_) {
        return;
    }
    dialogs_.endProgressLine();
    const QByteArray document = json_.document(command, exitCode);
    std::fwrite(document.constData(), 1, size_t(document.size()), documentOut_);
    std::fflush(documentOut_);
}

bool CliRun::readableFile(const QString& path) {
    const QFileInfo file(path);
    if (file.isFile() && file.isReadable()) {
        return true;
    }
    dialogs_.showError(QStringLiteral("Cannot read the file %1").arg(path));
    return false;
}

bool CliRun::connect(int port) {
    manager_.chooseManualPort(port);
    manager_.tick();
    if (!flags_.deviceConnected) {
        const QString path = portDevicePath(port);
        if (path.isEmpty()) {
            dialogs_.showError(QStringLiteral("There is no serial port COM %1").arg(port));
        } else if (!userMayOpen(path)) {
            dialogs_.showError(QStringLiteral("COM %1: ").arg(port) + portPermissionAdvice(path));
        } else if (portHeldByAnother(path)) {
            // upgrade --all names such a port in its table rather than passing over it.
            json_.set(QStringLiteral("port_busy"), true);
            dialogs_.showError(
                QStringLiteral("COM %1 is busy: another program holds it open; close that "
                               "program or choose another port")
                    .arg(port));
        } else {
            dialogs_.showError(QStringLiteral("No instrument answers on COM %1").arg(port));
        }
        return false;
    }
    return true;
}

void CliRun::watchLink(bool on) {
    if (on) {
        connectionTimer_.start();
    } else {
        connectionTimer_.stop();
    }
}

}  // namespace verimant::cli
