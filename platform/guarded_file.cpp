#include "platform/guarded_file.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace verimant {

namespace {

GuardedFileRead refused(const QString& problem) {
    return {GuardedFileRead::State::Refused, QByteArray(), problem};
}

GuardedFileRead unreadable(int error) {
    return refused(
        QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(error))));
}

// Why the opened file must not be used; empty when it may.
QString openedFileProblem(int fd, qint64 maxBytes) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return QStringLiteral("not a regular file");
    }
    if ((info.st_mode & S_IWOTH) != 0) {
        return QStringLiteral("writable by other users");
    }
    if (info.st_size > maxBytes) {
        return QStringLiteral("too large");
    }
    return {};
}

}  // namespace

GuardedFileRead readGuardedFile(const QString& path, qint64 maxBytes) {
    const QByteArray name = QFile::encodeName(path);
    struct stat link {};
    if (::lstat(name.constData(), &link) != 0) {
        return errno == ENOENT ? GuardedFileRead{} : unreadable(errno);
    }
    if (S_ISLNK(link.st_mode) && link.st_uid != ::geteuid() && link.st_uid != 0) {
        return refused(QStringLiteral("a link owned by another user"));
    }
    // Non-blocking, so a pipe in its place cannot hold the tool up.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return unreadable(errno);
    }
    const QString problem = openedFileProblem(fd, maxBytes);
    QFile file;
    if (!problem.isEmpty() || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refused(problem.isEmpty() ? QStringLiteral("cannot be read") : problem);
    }
    return {GuardedFileRead::State::Read, file.read(maxBytes), QString()};
}

}  // namespace verimant
