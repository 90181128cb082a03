#include "tests/sim/raw_line.h"

#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace verimant::sim::test {

namespace {

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return std::max<int>(0, int(left.count()));
}

}  // namespace

RawLine::RawLine(const QString& path) {
    fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    tcflush(fd_, TCIOFLUSH);
}

RawLine::~RawLine() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool RawLine::sendBytes(const QByteArray& bytes) {
    return fd_ >= 0 && ::write(fd_, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

bool RawLine::send(const QByteArray& body) {
    const auto frame = encodeFrame(body);
    return frame && sendBytes(*frame);
}

std::optional<QByteArray> RawLine::receive(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0) {
        pollfd fd{fd_, POLLIN, 0};
        if (::poll(&fd, 1, remainingMs(deadline)) <= 0 || !(fd.revents & POLLIN)) {
            return std::nullopt;
        }
        std::uint8_t byte = 0;
        // One byte at a time, so bytes after the frame stay for the next call.
        if (::read(fd_, &byte, 1) != 1) {
            return std::nullopt;
        }
        if (decoder_.feed(byte)) {
            return decoder_.frame();
        }
    }
    return std::nullopt;
}

bool RawLine::waitForHangup(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0) {
        pollfd fd{fd_, POLLIN, 0};
        if (::poll(&fd, 1, remainingMs(deadline)) <= 0) {
            return false;
        }
        if (fd.revents & (POLLHUP | POLLERR)) {
            return true;
        }
        char byte = 0;
        if (::read(fd_, &byte, 1) == 0) {
            return true;
        }
    }
    return false;
}

QByteArray RawLine::drain(int timeoutMs) {
    QByteArray bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0) {
        pollfd fd{fd_, POLLIN, 0};
        if (::poll(&fd, 1, remainingMs(deadline)) <= 0 || !(fd.revents & POLLIN)) {
            break;
        }
        char buffer[512];
        const ssize_t count = ::read(fd_, buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        bytes.append(buffer, count);
    }
    return bytes;
}

}  // namespace verimant::sim::test
