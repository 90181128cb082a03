#include "cli/cli_run.h"

#include "platform/event_wait.h"

#include <QCoreApplication>

#include <unistd.h>

namespace verimant::cli {

CliRun::CliRun(bool assumeYes, std::FILE* out, std::FILE* err)
    : out_(out),
      err_(err),
      outIsTerminal_(isatty(fileno(out)) != 0),
      dialogs_(assumeYes, stdin, err),
      commands_(protocol_),
      session_{log_, protocol_, commands_, flags_} {
    installUserDialogs(&dialogs_);
    installProgressView(&dialogs_);
    protocol_.setLogSink([this](const QString& line) { log_.AddLine(line); });
    QObject::connect(&log_, &ActivityLog::lineAppended,
                     [this](const QString& line) { printLine(line, false); });
    QObject::connect(&log_, &ActivityLog::lastLineReplaced,
                     [this](const QString& line) { printLine(line, true); });
}

CliRun::~CliRun() {
    protocol_.close();
    installUserDialogs(nullptr);
    installProgressView(nullptr);
}

// Progress lines that the writers rewrite in place are rewritten on a terminal too; in a pipe
// every state is kept as its own line.
void CliRun::printLine(const QString& line, bool replacing) {
    const QByteArray text = line.toUtf8();
    if (replacing && outIsTerminal_) {
        std::fprintf(out_, "\033[1A\r\033[K%s\n", text.constData());
    } else {
        std::fprintf(out_, "%s\n", text.constData());
    }
    std::fflush(out_);
}

bool CliRun::connect(int port) {
    protocol_.setPortNumber(port);
    if (!protocol_.open(230400)) {
        dialogs_.showError(QStringLiteral("COM %1 cannot be opened").arg(port));
        return false;
    }
    if (protocol_.testConnection(QByteArrayLiteral("Tarvelon"), false) != 1) {
        dialogs_.showError(QStringLiteral("No instrument answers on COM %1").arg(port));
        return false;
    }
    flags_.deviceConnected = true;
    return true;
}

}  // namespace verimant::cli
