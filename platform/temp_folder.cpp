#include "platform/temp_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace verimant {

namespace {

int openFolderNoFollow(const QByteArray& path) {
    int fd;
    do {
        fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

PrivateFolderStatus judge(const struct stat& info, uid_t owner) {
    if (!S_ISDIR(info.st_mode)) {
        return PrivateFolderStatus::NotAFolder;
    }
    if (info.st_uid != owner) {
        return PrivateFolderStatus::ForeignOwner;
    }
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        return PrivateFolderStatus::OpenToOthers;
    }
    return PrivateFolderStatus::Ready;
}

}  // namespace

QString systemTempPath() {
    return QDir::tempPath();
}

QString userRuntimePath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || QDir::isRelativePath(runtime) || !QFileInfo(runtime).isDir()) {
        return QString();
    }
    return QDir::cleanPath(runtime);
}

QString toolTempFolder() {
    const QString runtime = userRuntimePath();
    if (!runtime.isEmpty()) {
        return runtime + QStringLiteral("/pelma");
    }
    // Without a system folder there is no tool folder either: "/pelma-<uid>" would be the root's.
    const QString system = systemTempPath();
    return system.isEmpty() ? QString()
                            : system + QStringLiteral("/pelma-") + QString::number(::getuid());
}

PrivateFolderStatus preparePrivateFolder(const QString& path, uid_t owner) {
    if (path.isEmpty()) {
        return PrivateFolderStatus::NoPath;
    }
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), S_IRWXU) != 0 && errno != EEXIST) {
        return PrivateFolderStatus::CannotCreate;
    }
    // The folder is judged through a descriptor opened without following links, so what is
    // checked is the folder itself and not whatever a link planted in its place points at.
    const int fd = openFolderNoFollow(native);
    if (fd < 0) {
        struct stat info {};
        const bool exists = ::lstat(native.constData(), &info) == 0;
        return exists && !S_ISDIR(info.st_mode) ? PrivateFolderStatus::NotAFolder
                                                : PrivateFolderStatus::CannotCreate;
    }
    struct stat info {};
    const bool examined = ::fstat(fd, &info) == 0;
    ::close(fd);
    return examined ? judge(info, owner) : PrivateFolderStatus::CannotCreate;
}

PrivateFolderStatus preparePrivateFolder(const QString& path) {
    return preparePrivateFolder(path, ::getuid());
}

QString privateFolderProblem(PrivateFolderStatus status) {
    switch (status) {
        case PrivateFolderStatus::Ready:
            return QString();
        case PrivateFolderStatus::NoPath:
            return QStringLiteral("no temporary folder");
        case PrivateFolderStatus::CannotCreate:
            return QStringLiteral("cannot be created");
        case PrivateFolderStatus::NotAFolder:
            return QStringLiteral("not a folder (a link or a file stands there)");
        case PrivateFolderStatus::ForeignOwner:
            return QStringLiteral("belongs to another user");
        case PrivateFolderStatus::OpenToOthers:
            return QStringLiteral("open to other users");
    }
    return QString();
}

}  // namespace verimant
