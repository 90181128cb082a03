#include "platform/instance_lock.h"

#include "platform/temp_folder.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace verimant {

SingleInstanceLock::~SingleInstanceLock() {
    release();
}

QString SingleInstanceLock::lockPath(const QString& name) {
    // The runtime folder is the user's alone, so no other user can make the file first.
    const QString runtime = userRuntimePath();
    if (!runtime.isEmpty()) {
        return runtime + QLatin1Char('/') + name + QStringLiteral(".lock");
    }
    // No temporary folder means no lock file, rather than one at the root. One lock per user, as
    // the named mutex is per session: in a shared /tmp one user's file would otherwise lock out
    // the others, and protected_regular forbids opening another user's file with O_CREAT.
    const QString folder = systemTempPath();
    return folder.isEmpty() ? QString()
                            : folder + QLatin1Char('/') + name + QLatin1Char('-') +
                                  QString::number(::getuid()) + QStringLiteral(".lock");
}

// A lock file that someone else made or can reach could be held by them for ever, which would
// look like another copy of the tool; such a file is refused rather than used.
int SingleInstanceLock::openTrustedFile(const QString& file) {
    if (!userRuntimePath().isEmpty() &&
        preparePrivateFolder(userRuntimePath()) != PrivateFolderStatus::Ready) {
        return -1;
    }
    const QByteArray path = QFile::encodeName(file);
    // Read-only is enough for flock. Close-on-exec, so that a browser started from the tool does
    // not keep the lock after the tool ends.
    int fd;
    do {
        fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SingleInstanceLock::acquire(const QString& name) {
    if (held()) {
        return true;
    }
    refusal_ = Refusal::Untrusted;
    const QString file = lockPath(name);
    if (file.isEmpty()) {
        return false;
    }
    const int fd = openTrustedFile(file);
    if (fd < 0) {
        return false;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        refusal_ = errno == EWOULDBLOCK ? Refusal::HeldElsewhere : Refusal::Untrusted;
        ::close(fd);
        return false;
    }
    fd_ = fd;
    refusal_ = Refusal::None;
    return true;
}

void SingleInstanceLock::release() {
    if (fd_ < 0) {
        return;
    }
    // The file stays: removing it would let a newcomer lock a fresh file while an older
    // waiter still holds the unlinked one.
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace verimant
