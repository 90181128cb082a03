#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"
#include "cli/cli_source.h"
#include "cli/terminal_text.h"

#include "update/local_name.h"
#include "update/update_server.h"

#include <QDir>
#include <QFileInfo>

namespace verimant::cli {

namespace {

// Without LOCAL the file keeps its own name (its last piece) in the current folder; LOCAL naming
// a folder puts it there under that name.
QString localTarget(const QStringList& arguments, QString* problem) {
    const QString name = arguments.at(0);
    const QString local = arguments.value(1);
    if (!local.isEmpty() && !QFileInfo(local).isDir())
        return local;
    const QString folder = local.isEmpty() ? QDir::currentPath() : local;
    return localPathForServerName(folder, name, problem);
}

}  // namespace

QString checkFetchArguments(const QStringList& arguments) {
    QString problem;
    if (localTarget(arguments, &problem).isEmpty())
        return QStringLiteral("cannot keep '%1' under its own name (%2); give LOCAL")
            .arg(arguments.at(0), problem);
    return {};
}

int runFetchCommand(CliRun& run, const QStringList& arguments) {
    if (refuseSourceOption(run, QStringLiteral("fetch"))) {
        return kExitUsage;
    }
    const QString name = arguments.at(0);
    const QString local = localTarget(arguments, nullptr);
    UpdateServer server(run.log());
    const QString address = server.settings().displayText();
    run.json().set(QStringLiteral("name"), name);
    run.json().set(QStringLiteral("server"), address);
    std::fprintf(run.out(), "Update server: %s\n", address.toUtf8().constData());
    std::fflush(run.out());
    server.setProgressTotal(std::max<qint64>(server.remoteSize(name), 0));
    if (!server.fetchFile(name, local)) {
        const QString why = server.transport().errorText();
        run.dialogs().showError(QStringLiteral("Could not fetch %1 from %2%3")
                                    .arg(name, address, why.isEmpty() ? QString() : ": " + why));
        return kExitFailure;
    }
    run.dialogs().endProgressLine();
    run.json().set(QStringLiteral("local"), QDir::toNativeSeparators(local));
    run.json().set(QStringLiteral("bytes"), QFileInfo(local).size());
    std::fprintf(run.out(), "Fetched %s into %s (%lld bytes)\n", terminalText(name).constData(),
                 QDir::toNativeSeparators(local).toUtf8().constData(),
                 static_cast<long long>(QFileInfo(local).size()));
    return kExitSuccess;
}

}  // namespace verimant::cli
