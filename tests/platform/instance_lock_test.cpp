#include "platform/instance_lock.h"

#include "platform/temp_folder.h"

#include <gtest/gtest.h>

#include <QFile>

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>

namespace verimant {
namespace {

const QString kName = QStringLiteral("KMT2_Manager_Mutex");

// Another process tries the lock: true when it got it.
bool otherProcessAcquires() {
    const pid_t pid = fork();
    if (pid == 0) {
        SingleInstanceLock lock;
        _exit(lock.acquire(kName) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SingleInstanceLock, SecondHolderIsRefusedUntilRelease) {
    {
        SingleInstanceLock first;
        ASSERT_TRUE(first.acquire(kName));
        EXPECT_TRUE(first.held());
        EXPECT_TRUE(first.acquire(kName)) << "asking again keeps the lock";
        EXPECT_FALSE(otherProcessAcquires());

        // A second lock object in the same process is a second instance too.
        SingleInstanceLock second;
        EXPECT_FALSE(second.acquire(kName));
        EXPECT_FALSE(second.held());

        first.release();
        EXPECT_FALSE(first.held());
        EXPECT_TRUE(otherProcessAcquires());
        ASSERT_TRUE(second.acquire(kName));
        EXPECT_FALSE(otherProcessAcquires());
    }
    // The destructor let go.
    EXPECT_TRUE(otherProcessAcquires());
}

TEST(SingleInstanceLock, DiesWithItsHolder) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        SingleInstanceLock lock;
        const char answer = lock.acquire(kName) ? 'y' : 'n';
        (void)!write(ready[1], &answer, 1);
        for (;;) {
            pause();
        }
    }
    close(ready[1]);
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    close(ready[0]);
    ASSERT_EQ(answer, 'y');

    SingleInstanceLock mine;
    EXPECT_FALSE(mine.acquire(kName));
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_TRUE(mine.acquire(kName));
}

TEST(SingleInstanceLock, LockFileSurvivesEmptyingTheToolFolder) {
    const QString path = SingleInstanceLock::lockPath(kName);
    EXPECT_TRUE(path.startsWith(systemTempPath() + "/"));
    EXPECT_FALSE(path.startsWith(toolTempFolder()));
}

TEST(SingleInstanceLock, UnusableLockPlaceIsNoLock) {
    SingleInstanceLock lock;
    EXPECT_FALSE(lock.acquire(QStringLiteral("missing-folder/lock")));
    EXPECT_FALSE(lock.held());

    // Without a temporary folder the lock is not taken at the root instead.
    const QString tmp = systemTempPath();
    setenv("TMPDIR", qPrintable(tmp + "/missing"), 1);
    EXPECT_TRUE(SingleInstanceLock::lockPath(kName).isEmpty());
    EXPECT_FALSE(lock.acquire(kName));
    setenv("TMPDIR", qPrintable(tmp), 1);
    EXPECT_FALSE(QFile::exists("/" + kName + ".lock"));
    EXPECT_TRUE(lock.acquire(kName));
}

}  // namespace
}  // namespace verimant
