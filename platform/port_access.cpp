#include "platform/port_access.h"

#include <QFile>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <vector>

namespace verimant {

namespace {

// The user's name, or `unknown` when the user database has none.
QString userName(uid_t uid, const QString& unknown) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return unknown;
    }
    return QString::fromLocal8Bit(entry.pw_name);
}

QString groupName(gid_t gid) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return QString::number(gid);
    }
    return QString::fromLocal8Bit(entry.gr_name);
}

bool statDevice(const QString& devicePath, struct stat& info) {
    return !devicePath.isEmpty() && ::stat(QFile::encodeName(devicePath).constData(), &info) == 0;
}

bool processHasGroup(gid_t gid) {
    if (::getegid() == gid) {
        return true;
    }
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) {
        return false;
    }
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int filled = ::getgroups(count, groups.data());
    for (int i = 0; i < filled; ++i) {
        if (groups[static_cast<size_t>(i)] == gid) {
            return true;
        }
    }
    return false;
}

// Membership as the group database has it now, which a running session only learns at its next
// log-in.
bool userListedInGroup(uid_t uid, gid_t gid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return false;
    }
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<size_t>(count));
        if (::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0) {
            return false;
        }
    }
    for (int i = 0; i < count; ++i) {
        if (groups[static_cast<size_t>(i)] == gid) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool isPermissionError(int error) {
    return error == EACCES || error == EPERM;
}

bool userMayOpen(const QString& devicePath) {
    if (devicePath.isEmpty()) {
        return true;
    }
    // The effective ids decide what open() allows, so ask with them, not with the real ones.
    if (::faccessat(AT_FDCWD, QFile::encodeName(devicePath).constData(), R_OK | W_OK, AT_EACCESS) ==
        0) {
        return true;
    }
    return !isPermissionError(errno);
}

QString deviceGroupName(const QString& devicePath) {
    struct stat info {};
    return statDevice(devicePath, info) ? groupName(info.st_gid) : QString();
}

QString portPermissionAdvice(const QString& devicePath) {
    const QString refused = QStringLiteral("No permission to open %1").arg(devicePath);
    struct stat info {};
    if (!statDevice(devicePath, info)) {
        return refused;
    }
    const QString group = groupName(info.st_gid);
    const bool groupMayUse = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (!groupMayUse) {
        return refused + QStringLiteral(
                             " (owner %1, group %2, mode %3): ask the administrator "
                             "for read and write access")
                             .arg(userName(info.st_uid, QString::number(info.st_uid)), group,
                                  QString::number(info.st_mode & 07777, 8).rightJustified(4, '0'));
    }
    const uid_t uid = ::geteuid();
    const QString user = userName(uid, QStringLiteral("$USER"));
    if (processHasGroup(info.st_gid)) {
        // The group would do; something else (an access list, the mount) stands in the way.
        return refused;
    }
    if (userListedInGroup(uid, info.st_gid)) {
        return refused + QStringLiteral(
                             ": %1 is in the group %2 now, but this session began "
                             "before; log out and in again")
                             .arg(user, group);
    }
    return refused + QStringLiteral(
                         ": join the group %1 that owns it (sudo adduser %2 %1), then "
                         "log out and in again")
                         .arg(group, user);
}

bool portHeldByAnother(const QString& devicePath) {
    const int fd = ::open(QFile::encodeName(devicePath).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == EBUSY;
    }
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

}  // namespace verimant
