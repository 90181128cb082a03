#include "platform/instance_lock.h"

#include "platform/temp_folder.h"

#include <gtest/gtest.h>

#include <QFile>

#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>

namespace verimant {
namespace {

const QString kName = QStringLiteral("KMT2_Manager_Mutex");

// Another process tries the lock: true when it got it. It ends without releasing, so a lock that
// the system does not drop with its holder stays taken.
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
        EXPECT_TRUE(first.acquire(kName)) << "asking again keeps the lock";
        EXPECT_FALSE(otherProcessAcquires());
        // A second lock object in the same process is a second instance too.
        SingleInstanceLock second;
        EXPECT_FALSE(second.acquire(kName));
        EXPECT_FALSE(second.held());

        first.release();
        EXPECT_FALSE(first.held());
        EXPECT_TRUE(otherProcessAcquires());
        ASSERT_TRUE(second.acquire(kName)) << "the lock did not die with its holder";
        EXPECT_FALSE(otherProcessAcquires());
    }
    EXPECT_TRUE(otherProcessAcquires()) << "the destructor lets go";
}

TEST(SingleInstanceLock, LivesBesideTheToolFolderAndNeverAtTheRoot) {
    // The tool folder is emptied at every start; the lock file must survive that.
    const QString tmp = systemTempPath();
    EXPECT_TRUE(SingleInstanceLock::lockPath(kName).startsWith(tmp + "/"));
    EXPECT_FALSE(SingleInstanceLock::lockPath(kName).startsWith(toolTempFolder()));
    // One per user: another user's lock file in a shared folder must not stand in the way.
    EXPECT_TRUE(
        SingleInstanceLock::lockPath(kName).endsWith(QStringLiteral("-%1.lock").arg(::getuid())));

    SingleInstanceLock lock;
    EXPECT_FALSE(lock.acquire(QStringLiteral("missing-folder/lock")));
    EXPECT_FALSE(lock.held());
    setenv("TMPDIR", qPrintable(tmp + "/missing"), 1);
    EXPECT_TRUE(SingleInstanceLock::lockPath(kName).isEmpty());
    EXPECT_FALSE(lock.acquire(kName));
    setenv("TMPDIR", qPrintable(tmp), 1);
    EXPECT_FALSE(QFile::exists("/" + kName + ".lock"));
    EXPECT_TRUE(lock.acquire(kName));
}

}  // namespace
}  // namespace verimant
