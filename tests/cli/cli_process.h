#pragma once

#include "tests/support/test_environment.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>

namespace verimant::test {

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the built verimant-cli to its end; a run that hangs is killed and fails the test.
inline CliResult runCli(const QStringList& arguments, int timeoutMs = 90000) {
    QProcess cli;
    cli.start(builtProgram("verimant-cli"), arguments);
    cli.closeWriteChannel();
    CliResult result;
    if (!cli.waitForFinished(timeoutMs)) {
        cli.kill();
        cli.waitForFinished();
        ADD_FAILURE() << "verimant-cli did not finish: " << arguments.join(' ').toStdString();
        return result;
    }
    result.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    result.out = QString::fromUtf8(cli.readAllStandardOutput());
    result.err = QString::fromUtf8(cli.readAllStandardError());
    return result;
}

}  // namespace verimant::test

// The program's output in failure messages.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << text.toStdString();
}
