#include "cli/cli_app.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("verimant-cli"));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return verimant::cli::runCli(arguments, stdout, stderr);
}
