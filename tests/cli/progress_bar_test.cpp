// The transfer bar: its figures, and that it is drawn on a terminal only.

#include "cli/progress_bar.h"
#include "tests/cli/cli_process.h"
#include "tests/support/ftp_test_server.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace verimant::test {
namespace {

struct BarCase {
    qint64 done;
    qint64 total;
    qint64 rate;  // bytes a second; 0: not known yet
    QString line;
};

TEST(ProgressBarLine, ShowsPercentAmountsRateAndTimeLeft) {
    const std::vector<BarCase> cases = {
        {0, 1000, 0, "f [--------------------]   0%  0 B / 1000 B  -- B/s  --:-- left"},
        {1 << 20, 2 << 20, 1 << 20,
         "f [##########----------]  50%  1.0 MiB / 2.0 MiB  1.0 MiB/s  0:01 left"},
        // A remainder of a second is still a second to wait, not none.
        {1000, 3000, 1000, "f [######--------------]  33%  1000 B / 2.9 KiB  1000 B/s  0:02 left"},
        // A file longer than announced stops at the bar's end; a finished one has nothing left.
        {5000, 4000, 0, "f [####################] 100%  3.9 KiB / 3.9 KiB  -- B/s  0:00 left"},
        {150, 90 * 150, 150, "f [--------------------]   1%  150 B / 13.2 KiB  150 B/s  1:29 left"},
    };
    for (const BarCase& c : cases) {
        EXPECT_EQ(cli::progressBarLine("f", c.done, c.total, c.rate), c.line);
    }
    // A long name would push the figures off the line.
    const QString line = cli::progressBarLine(QString(60, u'x'), 0, 10, 0);
    EXPECT_TRUE(line.startsWith(QString(31, u'x') + QChar(0x2026) + " [")) << line;
}

// The writers' and downloads' status texts carry figures of their own; the bar shows them once.
TEST(ProgressBarLine, LabelsLoseTheFiguresTheBarShowsItself) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"55% 132Кб ", ""},
        {"Проверка записи 13%", "Проверка записи"},
        {"Verifying the write 100%", "Verifying the write"},
        {"# ЗАПИСЬ: 0% 0байт", "# ЗАПИСЬ:"},
        {"Загрузка ПО KMT2 [kmt2_3_2.hex] 0%", "Загрузка ПО KMT2 [kmt2_3_2.hex]"},
        {"132.5 KiB / 240.0 KiB", ""},
        // Figures inside a name belong to it.
        {"Чтение из сервера [fw\\kmt2 55%.hex]", "Чтение из сервера [fw\\kmt2 55%.hex]"},
        {"Прошивка EFL [efl_1_6.bin]", "Прошивка EFL [efl_1_6.bin]"},
    };
    for (const auto& [status, label] : cases) {
        EXPECT_EQ(cli::figureFreeLabel(status), label) << status;
    }
    const QString line =
        cli::progressBarLine(cli::figureFreeLabel("Проверка записи 13%"), 13, 100, 0);
    EXPECT_EQ(line.count('%'), 1) << line;
    EXPECT_TRUE(line.startsWith("Проверка записи [##")) << line;
}

TEST(ProgressBarLine, RedrawsAtMostEveryIntervalButAlwaysAtTheEnd) {
    cli::RedrawThrottle throttle(200);
    const std::vector<std::tuple<qint64, bool, bool>> steps = {
        {1000, false, true}, {1100, false, false}, {1199, false, false},
        {1200, false, true}, {1250, true, true},   {1260, false, false}};
    for (const auto& [now, finished, due] : steps) {
        EXPECT_EQ(throttle.due(now, finished), due) << now;
    }
}

// verimant-cli fetch with its standard error on a pseudo-terminal, as an operator sees it, and in
// a pipe, as a script sees it.
class ProgressBarCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(served.isValid() && work.isValid());
        QFile file(served.filePath("big.bin"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(300000, '\x42'));
        file.close();
        QString why;
        ASSERT_TRUE(ftp.start(&why)) << why;
        ftp.exportToEnvironment();
        QDir::setCurrent(work.path());
    }

    // Runs the program with standard error on a fresh pseudo-terminal; what the terminal got.
    static QString errorOnTerminal(const QStringList& arguments) {
        int master = -1;
        int slave = -1;
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return {};
        }
        QProcess cli;
        cli.setChildProcessModifier([slave] { ::dup2(slave, STDERR_FILENO); });
        cli.start(builtProgram("verimant-cli"), arguments);
        cli.closeWriteChannel();
        EXPECT_TRUE(cli.waitForFinished(60000));
        EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardOutput().toStdString();
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        QByteArray seen;
        char buffer[4096];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) {
            seen.append(buffer, n);
        }
        ::close(slave);
        ::close(master);
        return QString::fromUtf8(seen);
    }

    QTemporaryDir served;
    QTemporaryDir work;
    FtpTestServer ftp{served.path()};
};

TEST_F(ProgressBarCliTest, DrawnOnATerminalOnlyAndNeverWithJson) {
    const QString bar = "[####################] 100%  293.0 KiB / 293.0 KiB";
    const QString terminal = errorOnTerminal({"fetch", "big.bin"});
    EXPECT_TRUE(terminal.contains(bar)) << terminal;
    EXPECT_TRUE(terminal.contains("/s  0:00 left")) << terminal;

    const QString withJson = errorOnTerminal({"fetch", "big.bin", "again.bin", "--json"});
    EXPECT_FALSE(withJson.contains("[#")) << withJson;
    EXPECT_TRUE(withJson.contains("Fetched big.bin")) << withJson;

    const CliResult piped = runCli({"fetch", "big.bin", "piped.bin"});
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_FALSE(piped.err.contains("[#")) << piped.err;
    EXPECT_TRUE(piped.err.contains(QString::fromUtf8("Чтение из сервера [big.bin]\n")))
        << piped.err;
}

}  // namespace
}  // namespace verimant::test
