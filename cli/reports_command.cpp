#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"
#include "cli/terminal_text.h"
#include "update/report_outbox.h"
#include "update/update_server.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace verimant::cli {

int runReportsCommand(CliRun& run, const QStringList&) {
    const ReportOutbox outbox;
    const bool send = run.options().isSet(QStringLiteral("send"));
    if (send) {
        UpdateServer server(run.log());
        std::fprintf(run.out(), "Update server: %s\n", server.displayText().toUtf8().constData());
        if (!server.sendWaitingReports()) {
            const QString why = server.lastFailure();
            run.dialogs().showError(
                QStringLiteral("the waiting reports were not all sent to %1%2")
                    .arg(server.displayText(),
                         why.isEmpty() ? QString() : QStringLiteral(": ") + why));
        }
    }
    const QList<ReportOutbox::Entry> waiting = outbox.waiting();
    QJsonArray listed;
    std::fprintf(run.out(), "Outbox: %s\n", outbox.folder().toUtf8().constData());
    for (const ReportOutbox::Entry& entry : waiting) {
        const qint64 bytes = QFileInfo(entry.reportFile).size();
        std::fprintf(run.out(), "  %s  %lld bytes\n", terminalText(entry.remotePath).constData(),
                     static_cast<long long>(bytes));
        listed.append(QJsonObject{{QStringLiteral("remote_path"), entry.remotePath},
                                  {QStringLiteral("bytes"), bytes}});
    }
    std::fprintf(run.out(), "%lld report(s) waiting\n", static_cast<long long>(waiting.size()));
    run.json().set(QStringLiteral("outbox"), outbox.folder());
    run.json().set(QStringLiteral("waiting"), listed);
    // Sending that left reports behind has failed; the log says why.
    return send && !waiting.isEmpty() ? kExitFailure : kExitSuccess;
}

}  // namespace verimant::cli
