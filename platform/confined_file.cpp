#include "platform/confined_file.h"

#include <QFile>
#include <QStringList>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace verimant {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

// The folder `name` inside `parent`, made when missing; never a link.
Descriptor openSubfolder(int parent, const QByteArray& name) {
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    Descriptor folder(::openat(parent, name.constData(), kFlags));
    if (!folder.valid() && errno == ENOENT &&
        (::mkdirat(parent, name.constData(), 0777) == 0 || errno == EEXIST)) {
        folder = Descriptor(::openat(parent, name.constData(), kFlags));
    }
    return folder;
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

bool appendInsideFolder(const QString& folder, const QString& relativePath,
                        const QByteArray& bytes) {
    QStringList pieces = relativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (pieces.isEmpty() || pieces.contains(QStringLiteral("..")) ||
        pieces.contains(QStringLiteral("."))) {
        return false;
    }
    const QString fileName = pieces.takeLast();
    Descriptor current(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const QString& piece : pieces) {
        if (!current.valid()) {
            return false;
        }
        current = openSubfolder(current.get(), QFile::encodeName(piece));
    }
    if (!current.valid()) {
        return false;
    }
    // O_NONBLOCK: a FIFO planted under the name must not hold the run; fstat refuses it after.
    Descriptor file(::openat(current.get(), QFile::encodeName(fileName).constData(),
                             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                             0666));
    struct stat status {};
    // A second name (a hard link) could be a file outside the folder.
    return file.valid() && ::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode) &&
           status.st_nlink == 1 && writeAll(file.get(), bytes) && ::fsync(file.get()) == 0;
}

bool writeNewPrivateFile(const QString& path, const QByteArray& bytes) {
    // The mode given to open is masked by the umask, which can only take bits away from 0600.
    Descriptor file(::open(QFile::encodeName(path).constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid()) {
        return false;
    }
    if (::fchmod(file.get(), 0600) == 0 && writeAll(file.get(), bytes) &&
        ::fsync(file.get()) == 0) {
        return true;
    }
    ::unlink(QFile::encodeName(path).constData());
    return false;
}

bool linkFile(const QString& from, const QString& to) {
    return ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool syncToDisk(const QString& path) {
    Descriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    return file.valid() && ::fsync(file.get()) == 0;
}

}  // namespace verimant
