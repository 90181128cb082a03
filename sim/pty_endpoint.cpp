#include "sim/pty_endpoint.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace verimant::sim {

namespace {

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

bool makeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B230400);
    cfsetospeed(&tio, B230400);
    tio.c_cflag |= CLOCAL | CREAD;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

QString portLinkPath(const QString& portsDir, int portNumber) {
    return portsDir + QStringLiteral("/COM") + QString::number(portNumber);
}

PtyEndpoint::~PtyEndpoint() {
    close();
}

bool PtyEndpoint::open(const QString& portsDir, int portNumber, QString* error) {
    close();
    const auto fail = [&](const QString& reason) {
        if (error) {
            *error = reason;
        }
        close();
        return false;
    };
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0) {
        return fail(systemError("posix_openpt"));
    }
    char name[128] = {};
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
        return fail(systemError("pty set-up"));
    }
    slavePath_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave_ < 0 || !makeRaw(slave_)) {
        return fail(systemError("pty slave"));
    }
    const QString link = portLinkPath(portsDir, portNumber);
    const QByteArray linkBytes = link.toLocal8Bit();
    ::unlink(linkBytes.constData());
    if (::symlink(name, linkBytes.constData()) != 0) {
        return fail(systemError("symlink ") + link);
    }
    linkPath_ = link;
    return true;
}

int PtyEndpoint::unreadByTool() const {
    int count = 0;
    if (slave_ < 0 || ::ioctl(slave_, FIONREAD, &count) != 0) {
        return -1;
    }
    return count;
}

void PtyEndpoint::close() {
    if (!linkPath_.isEmpty()) {
        // Leave the name alone when someone else has taken it over since.
        const QByteArray link = linkPath_.toLocal8Bit();
        char target[256] = {};
        const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
        if (length > 0 && QString::fromLocal8Bit(target, int(length)) == slavePath_) {
            ::unlink(link.constData());
        }
        linkPath_.clear();
    }
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    slavePath_.clear();
}

}  // namespace verimant::sim
