// The run history database: rows from several processes at once, rows of processes that died,
// and databases this version must not write into.

#include "update/run_history.h"
#include "tests/support/test_environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace verimant::test {
namespace {

QString historyPath(const QString& name) {
    return testRootDir() + "/" + name + "/history.sqlite";
}

// Each child process opens its own connection, as separate verimant-cli runs do, and inserts
// (and, when asked, completes) `rows` rows; its exit status is the number of rows it failed.
pid_t startWriter(const QString& path, int rows, bool complete) {
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    int failed = 0;
    {
        RunHistory history(path);
        if (!history.open()) {
            _exit(100);
        }
        for (int i = 0; i < rows; ++i) {
            HistoryRow row;
            row.kind = QStringLiteral("write-efl");
            row.serial = QStringLiteral("1-23-%1").arg(getpid());
            if (!history.begin(row)) {
                ++failed;
                continue;
            }
            row.result = QStringLiteral("written");
            if (complete && !history.finish(row)) {
                ++failed;
            }
        }
    }
    // No exit handlers: the test program's own state belongs to the parent.
    _exit(failed);
}

int waitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RunHistoryTest, SeveralProcessesWritingAtOnceLoseNoRowAndDeadOnesReadInterrupted) {
    const QString path = historyPath("concurrent");
    {
        RunHistory first(path);  // lays out the schema, so every child starts from the same file
        ASSERT_TRUE(first.open()) << first.problem().toStdString();
    }
    constexpr int kWriters = 6;
    constexpr int kRows = 40;
    std::vector<pid_t> writers;
    for (int i = 0; i < kWriters; ++i) {
        writers.push_back(startWriter(path, kRows, true));
    }
    const pid_t crashed = startWriter(path, 2, false);
    for (const pid_t pid : writers) {
        EXPECT_EQ(waitExit(pid), 0) << "rows this writer could not write";
    }
    EXPECT_EQ(waitExit(crashed), 0);

    RunHistory history(path);
    ASSERT_TRUE(history.open());
    const QList<HistoryRow> rows = history.rows();
    ASSERT_EQ(rows.size(), kWriters * kRows + 2);
    int interrupted = 0;
    for (const HistoryRow& row : rows) {
        EXPECT_NE(row.result, "running") << "a finished process cannot still be running";
        interrupted += row.result == "interrupted" ? 1 : 0;
    }
    EXPECT_EQ(interrupted, 2);
    EXPECT_EQ(history.rows({QStringLiteral("1-23-%1").arg(crashed), {}}).size(), 2);
    for (int i = 1; i < rows.size(); ++i) {
        EXPECT_GE(rows[i - 1].started, rows[i].started) << "newest first";
    }
}

// Bytes that are no database, a database cut short, and one a newer tool laid out: each is kept
// as it was under a new name, and the run starts a new history beside it.
TEST(RunHistoryTest, AnUnusableDatabaseIsKeptAsideAndANewOneStarted) {
    struct Case {
        const char* name;
        std::function<void(const QString& path)> spoil;
        const char* label;
    };
    const auto fill = [](const QString& path, int userVersion) {
        RunHistory history(path);
        ASSERT_TRUE(history.open());
        HistoryRow row;
        row.kind = "upgrade";
        ASSERT_TRUE(history.begin(row));
        if (userVersion != 0) {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "newer");
            db.setDatabaseName(path);
            ASSERT_TRUE(db.open());
            QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version=%1").arg(userVersion));
            db.close();
        }
    };
    const std::vector<Case> cases = {
        {"garbage",
         [](const QString& path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write(QByteArray(8192, 'x'));
         },
         "damaged"},
        {"truncated",
         [&](const QString& path) {
             fill(path, 0);
             QSqlDatabase::removeDatabase("newer");
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             ASSERT_TRUE(file.resize(1500));
             QFile::remove(path + "-wal");
             QFile::remove(path + "-shm");
         },
         "damaged"},
        {"newer",
         [&](const QString& path) {
             fill(path, RunHistory::kSchemaVersion + 1);
             QSqlDatabase::removeDatabase("newer");
         },
         "newer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = historyPath(c.name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        c.spoil(path);
        QFile original(path);
        ASSERT_TRUE(original.open(QIODevice::ReadOnly));
        const QByteArray before = original.readAll();
        original.close();

        RunHistory history(path);
        ASSERT_TRUE(history.open()) << history.problem().toStdString();
        EXPECT_TRUE(history.notice().contains("a new history was started"))
            << history.notice().toStdString();
        const QStringList aside =
            QDir(QFileInfo(path).absolutePath())
                .entryList({QStringLiteral("history.sqlite.") + c.label + "-*"}, QDir::Files);
        ASSERT_FALSE(aside.filter(QRegularExpression("\\d$")).isEmpty())
            << aside.join(' ').toStdString();
        QFile kept(QFileInfo(path).absolutePath() + "/" +
                   aside.filter(QRegularExpression("\\d$")).first());
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_TRUE(kept.readAll() == before) << "the old database was changed";
        EXPECT_TRUE(history.rows().isEmpty());
        HistoryRow row;
        row.kind = "write-kmt2";
        EXPECT_TRUE(history.begin(row)) << "the new history takes rows";
    }
}

}  // namespace
}  // namespace verimant::test
