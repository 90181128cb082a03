#include "cli/cli_app.h"
#include "cli/folders_on_signal.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    verimant::cli::removeFoldersOnSignals();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("verimant-cli"));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return verimant::cli::runCli(arguments, stdout, stderr);
}
