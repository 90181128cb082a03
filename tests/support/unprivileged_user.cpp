#include "tests/support/unprivileged_user.h"

#include "tests/support/test_environment.h"

#include <QFile>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

namespace verimant::test {

bool runningAsRoot() {
    return ::geteuid() == 0;
}

uid_t nobodyUid() {
    const passwd* entry = ::getpwnam("nobody");
    return entry != nullptr ? entry->pw_uid : 65534;
}

gid_t nobodyGid() {
    const passwd* entry = ::getpwnam("nobody");
    return entry != nullptr ? entry->pw_gid : 65534;
}

ActingAsNobody::ActingAsNobody() {
    if (!runningAsRoot()) {
        return;
    }
    const int count = ::getgroups(0, nullptr);
    groups_.resize(count > 0 ? size_t(count) : 0);
    if (count > 0) {
        // The list is restored from what was read, so a shorter answer shortens it.
        const int read = ::getgroups(count, groups_.data());
        groups_.resize(read > 0 ? size_t(read) : 0);
    }
    // Without these steps succeeding the test would pass for the wrong reason; stop it instead.
    if (::setgroups(0, nullptr) != 0 || ::setegid(nobodyGid()) != 0 ||
        ::seteuid(nobodyUid()) != 0) {
        std::abort();
    }
    active_ = true;
}

ActingAsNobody::~ActingAsNobody() {
    if (!active_) {
        return;
    }
    if (::seteuid(0) != 0 || ::setegid(0) != 0 ||
        ::setgroups(groups_.size(), groups_.data()) != 0) {
        std::abort();
    }
}

void openPortsFolderToOthers() {
    const QByteArray root = QFile::encodeName(testRootDir());
    ::chmod(root.constData(), 0711);
    ::chmod((root + "/ports").constData(), 0755);
}

void becomeNobody() {
    if (::setgroups(0, nullptr) != 0 || ::setgid(nobodyGid()) != 0 || ::setuid(nobodyUid()) != 0) {
        ::_exit(125);
    }
}

bool refuseAccess(const QString& devicePath, mode_t mode) {
    const QByteArray path = QFile::encodeName(devicePath);
    if (!runningAsRoot()) {
        return ::chmod(path.constData(), 0) == 0;
    }
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr) {
        return false;
    }
    return ::chown(path.constData(), 0, dialout->gr_gid) == 0 &&
           ::chmod(path.constData(), mode) == 0;
}

}  // namespace verimant::test
