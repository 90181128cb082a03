// verimant-cli run by a user who may not use the instrument's port.

#include "sim/pty_instrument.h"
#include "tests/cli/cli_process.h"
#include "tests/support/unprivileged_user.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace verimant::test {
namespace {

// Folders of the refused user's own, which it can write like any user its home and /tmp.
QProcessEnvironment refusedUserEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"TMPDIR", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
        const QString folder = testRootDir() + "/refused-user/" + name;
        QDir().mkpath(folder);
        if (runningAsRoot()) {
            EXPECT_EQ(::chown(QFile::encodeName(folder).constData(), nobodyUid(), nobodyGid()), 0);
        }
        QFile::setPermissions(
            folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        environment.insert(name, folder);
    }
    ::chmod(QFile::encodeName(testRootDir() + "/refused-user").constData(), 0755);
    return environment;
}

// A checkout inside a private folder (as `mktemp -d` makes one) keeps nobody from the program.
bool nobodyCanReach(const QString& path) {
    ActingAsNobody nobody;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
    }
    return fd >= 0;
}

// Runs verimant-cli as the refused user: as root, the child becomes nobody before it starts.
CliResult runCliRefused(const QStringList& arguments) {
    QProcess cli;
    cli.setProcessEnvironment(refusedUserEnvironment());
    if (runningAsRoot()) {
        cli.setChildProcessModifier(becomeNobody);
    }
    cli.start(builtProgram("verimant-cli"), arguments);
    cli.closeWriteChannel();
    CliResult result;
    if (!cli.waitForFinished(90000)) {
        cli.kill();
        cli.waitForFinished();
        ADD_FAILURE() << "verimant-cli did not finish";
        return result;
    }
    result.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    result.out = QString::fromUtf8(cli.readAllStandardOutput());
    result.err = QString::fromUtf8(cli.readAllStandardError());
    return result;
}

// The port stays listed but marked, and a command on it fails with the reason instead of "no
// instrument answers": an operator must not hunt for a cable fault that is a missing group.
TEST(PortPermissionCli, RefusedPortIsMarkedAndExplained) {
    if (runningAsRoot() && !nobodyCanReach(builtProgram("verimant-cli"))) {
        GTEST_SKIP() << "the user nobody cannot reach "
                     << builtProgram("verimant-cli").toStdString()
                     << " (a folder above it is private)";
    }
    sim::PtyInstrumentOptions options;
    options.portNumber = 5;
    sim::PtyInstrument instrument(sim::InstrumentConfig{}, options);
    QString error;
    ASSERT_TRUE(instrument.start(&error)) << error;
    openPortsFolderToOthers();
    ASSERT_TRUE(refuseAccess(instrument.slavePath()));
    const QString group = runningAsRoot() ? "dialout" : QString();

    CliResult result = runCliRefused({"ports"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << result.out;
    EXPECT_TRUE(lines[0].startsWith("COM5    " + instrument.slavePath() +
                                    "  [no permission: group " + group))
        << lines[0];
    EXPECT_TRUE(lines[1].startsWith("No permission to open " + instrument.slavePath())) << lines[1];

    result = runCliRefused({"info", "--port", "5"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out.split('\n', Qt::SkipEmptyParts),
              QStringList({"Open COM 5 : Error", lines[1]}));
    EXPECT_TRUE(result.err.startsWith("Error: COM 5: " + lines[1])) << result.err;

    // The owner of the test may use it: nothing is marked.
    result = runCli({"ports"});
    if (runningAsRoot()) {
        EXPECT_EQ(result.out.trimmed(), "COM5    " + instrument.slavePath());
    }
}

}  // namespace
}  // namespace verimant::test
