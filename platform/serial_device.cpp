#include "platform/serial_device.h"

#include <QFile>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>

namespace verimant {

namespace {

speed_t speedFor(int baudRate) {
    switch (baudRate) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B0;
    }
}

class Deadline {
public:
    explicit Deadline(int ms)
        : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)) {}
    int remainingMs() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end_ - std::chrono::steady_clock::now());
        return left.count() > 0 ? int(left.count()) : 0;
    }

private:
    std::chrono::steady_clock::time_point end_;
};

// Waits for `events` on `fd`; the revents, 0 on time-out.
short pollOne(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    return rc > 0 ? p.revents : 0;
}

void drainCancel(int cancelFd) {
    eventfd_t value;
    while (::eventfd_read(cancelFd, &value) == 0) {
    }
}

}  // namespace

SerialDevice::SerialDevice() : cancelFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SerialDevice::~SerialDevice() {
    close();
    if (cancelFd_ >= 0) {
        ::close(cancelFd_);
    }
}

bool SerialDevice::open(const QString& path, int baudRate) {
    close();
    lastError_ = 0;
    if (cancelFd_ < 0 || path.isEmpty()) {
        lastError_ = cancelFd_ < 0 ? EMFILE : ENOENT;
        return false;
    }
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    // flock keeps out every other opener, root included; TIOCEXCL only non-root ones, but it also
    // covers programs that do not flock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        lastError_ = errno;
        ::close(fd);
        return false;
    }
    fd_ = fd;
    ::ioctl(fd_, TIOCEXCL);
    if (!configure(baudRate)) {
        lastError_ = errno;
        close();
        return false;
    }
    drainCancel(cancelFd_);
    hungUp_.store(false);
    return true;
}

bool SerialDevice::configure(int baudRate) {
    const speed_t speed = speedFor(baudRate);
    termios tio{};
    if (speed == B0 || ::tcgetattr(fd_, &tio) != 0) {
        if (speed == B0) {
            errno = EINVAL;
        }
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    // One byte satisfies a read, so with O_NONBLOCK an empty queue gives EAGAIN and a read of 0
    // bytes can only mean the line hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
        ::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        return false;
    }

    // Ports without modem lines (pseudo-terminals) answer ENOTTY or EINVAL; that is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd_, TIOCMBIC, &lines);

    // USB adapters otherwise hold received bytes for up to 16 ms, which shows in every round trip.
    serial_struct serial{};
    if (::ioctl(fd_, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd_, TIOCSSERIAL, &serial);
    }

    ::tcflush(fd_, TCIOFLUSH);
    return true;
}

void SerialDevice::close() {
    cancelWait();
    if (fd_ < 0) {
        return;
    }
    // An exclusive flag left on a pseudo-terminal outlives this descriptor while its master stays
    // open, and would lock out the next non-root opener.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

void SerialDevice::cancelWait() {
    if (cancelFd_ >= 0) {
        ::eventfd_write(cancelFd_, 1);
    }
}

int SerialDevice::bytesWaiting() {
    if (fd_ < 0 || hungUp()) {
        return -1;
    }
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0) {
        return -1;
    }
    return waiting;
}

// Moves `count` bytes with non-blocking calls, waiting for the line between them until the
// deadline. `step` moves what it can from `done` bytes on; `endsLine` tells which failures mean
// the other side has gone.
template <typename Step, typename EndsLine>
int SerialDevice::transferAll(int count, int timeoutMs, short events, Step step,
                              EndsLine endsLine) {
    if (fd_ < 0 || hungUp() || count < 0) {
        return -1;
    }
    const Deadline deadline(timeoutMs);
    int total = 0;
    while (total < count) {
        const ssize_t n = step(total);
        if (n > 0) {
            total += int(n);
            continue;
        }
        const int error = n < 0 ? errno : 0;
        if (error == EINTR) {
            continue;
        }
        if (error == EAGAIN) {
            const int left = deadline.remainingMs();
            if (left > 0 && pollOne(fd_, events, left) != 0) {
                continue;
            }
            break;
        }
        if (endsLine(error)) {
            markHungUp();
        }
        return total > 0 ? total : -1;
    }
    return total;
}

int SerialDevice::read(std::uint8_t* buffer, int count, int timeoutMs) {
    // 0 is end of file on a raw line with VMIN 1: the other side is gone, as with EIO.
    return transferAll(
        count, timeoutMs, POLLIN,
        [&](int done) { return ::read(fd_, buffer + done, size_t(count - done)); },
        [](int) { return true; });
}

int SerialDevice::write(const std::uint8_t* data, int count, int timeoutMs) {
    return transferAll(
        count, timeoutMs, POLLOUT,
        [&](int done) { return ::write(fd_, data + done, size_t(count - done)); },
        [](int error) { return error == EIO || error == ENXIO || error == ENODEV; });
}

SerialDevice::WaitResult SerialDevice::waitReadable() {
    if (fd_ < 0 || cancelFd_ < 0) {
        return WaitResult::Failed;
    }
    if (hungUp()) {
        return WaitResult::HungUp;
    }
    pollfd fds[2] = {{cancelFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
    for (;;) {
        const int rc = ::poll(fds, 2, -1);
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc < 0) {
            return WaitResult::Failed;
        }
        if (fds[0].revents & POLLIN) {
            return WaitResult::Cancelled;
        }
        const short revents = fds[1].revents;
        if (revents & POLLNVAL) {
            return WaitResult::Failed;
        }
        if (revents & (POLLIN | POLLHUP | POLLERR)) {
            if (bytesWaiting() > 0) {
                return WaitResult::Readable;
            }
            // A raw line with VMIN 1 reports readable without data only at end of file; a hung-up
            // line stays "ready" for ever, so remember it rather than be woken again and again.
            markHungUp();
            return WaitResult::HungUp;
        }
    }
}

}  // namespace verimant
