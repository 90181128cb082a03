#include "platform/instance_lock.h"

#include "platform/temp_folder.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>

namespace verimant {

SingleInstanceLock::~SingleInstanceLock() {
    release();
}

QString SingleInstanceLock::lockPath(const QString& name) {
    // No temporary folder means no lock file, rather than one at the root. One lock per user, as
    // the named mutex is per session: in a shared /tmp one user's file would otherwise lock out
    // the others, and protected_regular forbids opening another user's file with O_CREAT.
    const QString folder = systemTempPath();
    return folder.isEmpty() ? QString()
                            : folder + QLatin1Char('/') + name + QLatin1Char('-') +
                                  QString::number(::getuid()) + QStringLiteral(".lock");
}

bool SingleInstanceLock::acquire(const QString& name) {
    if (held()) {
        return true;
    }
    const QString file = lockPath(name);
    if (file.isEmpty()) {
        return false;
    }
    const QByteArray path = QFile::encodeName(file);
    // Read-only is enough for flock. Close-on-exec, so that a browser started from the tool does
    // not keep the lock after the tool ends.
    int fd;
    do {
        fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
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
