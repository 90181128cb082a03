#include "platform/instance_lock.h"

#include "platform/temp_folder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <functional>
#include <vector>

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
    // The tool folder is emptied at every start; the lock file must survive that. Where there is
    // a runtime folder, the lock lies there, out of other users' reach.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    EXPECT_EQ(SingleInstanceLock::lockPath(kName), runtime + "/" + kName + ".lock");
    EXPECT_FALSE(SingleInstanceLock::lockPath(kName).startsWith(toolTempFolder()));

    const QString tmp = systemTempPath();
    unsetenv("XDG_RUNTIME_DIR");
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
    setenv("XDG_RUNTIME_DIR", qPrintable(runtime), 1);
}

// Each case prepares the lock's place in the shared temporary folder (no runtime folder), as
// another local user or another copy could leave it.
struct LockPlace {
    const char* what;
    std::function<void(const QString& lockFile)> prepare;
    SingleInstanceLock::Refusal expected;
};

TEST(SingleInstanceLock, TellsAnotherCopyFromALockThatCannotBeTrusted) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    unsetenv("XDG_RUNTIME_DIR");
    const QString elsewhere = systemTempPath() + "/elsewhere.lock";
    std::vector<LockPlace> cases = {
        {"held by another copy", [](const QString&) {}, SingleInstanceLock::Refusal::HeldElsewhere},
        {"a link planted in its place", [&](const QString& file) { QFile::link(elsewhere, file); },
         SingleInstanceLock::Refusal::Untrusted},
        {"a folder planted in its place", [](const QString& file) { QDir().mkpath(file); },
         SingleInstanceLock::Refusal::Untrusted},
    };
    if (::geteuid() == 0) {
        cases.push_back({"a file of another user",
                         [](const QString& file) {
                             QFile(file).open(QIODevice::WriteOnly);
                             ASSERT_EQ(::chown(QFile::encodeName(file).constData(), 65534, 65534),
                                       0);
                         },
                         SingleInstanceLock::Refusal::Untrusted});
    }
    for (const LockPlace& c : cases) {
        const QString name = QStringLiteral("place-%1").arg(c.what).replace(' ', '-');
        const QString file = SingleInstanceLock::lockPath(name);
        c.prepare(file);
        SingleInstanceLock other;
        if (c.expected == SingleInstanceLock::Refusal::HeldElsewhere) {
            ASSERT_TRUE(other.acquire(name));
        }
        SingleInstanceLock lock;
        EXPECT_FALSE(lock.acquire(name)) << c.what;
        EXPECT_EQ(lock.refusal(), c.expected) << c.what;
    }
    EXPECT_FALSE(QFile::exists(elsewhere)) << "the link was not followed";

    // A runtime folder that others can reach is no safe place either.
    setenv("XDG_RUNTIME_DIR", qPrintable(runtime), 1);
    ::chmod(QFile::encodeName(runtime).constData(), 0777);
    SingleInstanceLock lock;
    EXPECT_FALSE(lock.acquire(kName));
    EXPECT_EQ(lock.refusal(), SingleInstanceLock::Refusal::Untrusted);
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    EXPECT_TRUE(lock.acquire(kName));
}

}  // namespace
}  // namespace verimant
