#include "tests/link/pty_peer.h"

#include "link/frame_codec.h"
#include "platform/monotonic_clock.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <chrono>

namespace verimant::test {

PtyPeer::PtyPeer(int portNumber)
    : portNumber_(portNumber),
      responder_([](const QByteArray& request) { return wire(echoBody(request)); }) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        return;
    }
    slavePath_ = QString::fromLocal8Bit(::ptsname(master_));
    // Held open so that the master never sees a hang-up while the tool's side is closed.
    slave_ = ::open(slavePath_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave_ >= 0 && ::tcgetattr(slave_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slave_, TCSANOW, &tio);
    }
    linkPath_ = qEnvironmentVariable("VERIMANT_PORTS_DIR") + "/COM" + QString::number(portNumber);
    QFile::remove(linkPath_);
    QFile::link(slavePath_, linkPath_);
    thread_ = std::thread([this] { run(); });
}

PtyPeer::~PtyPeer() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    closeNow();
    if (slave_ >= 0) {
        ::close(slave_);
    }
    if (!linkPath_.isEmpty()) {
        QFile::remove(linkPath_);
    }
}

void PtyPeer::setResponder(Responder responder) {
    std::lock_guard guard(mutex_);
    responder_ = std::move(responder);
}

void PtyPeer::closeNow() {
    std::lock_guard guard(mutex_);
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
        masterClosed_ = true;
    }
    changed_.notify_all();
}

void PtyPeer::closeMaster() {
    closeRequested_ = true;
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(5), [this] { return master_ < 0; });
}

void PtyPeer::sendRaw(const QByteArray& bytes) {
    std::lock_guard guard(mutex_);
    if (master_ < 0) {
        return;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0) {
            return;
        }
        done += n;
    }
}

void PtyPeer::run() {
    FrameDecoder decoder;
    char buffer[4096];
    while (!stop_) {
        if (closeRequested_) {
            closeNow();
            return;
        }
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) {
            continue;
        }
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            continue;
        }
        {
            std::lock_guard guard(mutex_);
            received_.append(buffer, n);
        }
        changed_.notify_all();
        for (ssize_t i = 0; i < n; ++i) {
            if (decoder.feed(std::uint8_t(buffer[i]))) {
                handle(decoder.frame());
                if (masterClosed_) {
                    return;
                }
            }
        }
    }
}

void PtyPeer::handle(const QByteArray& request) {
    Responder responder;
    int index;
    {
        std::lock_guard guard(mutex_);
        index = int(requests_.size());
        requests_.append(request);
        requestTimes_.append(tickCountMs());
        responder = responder_;
    }
    changed_.notify_all();
    if (index == closeOnRequest_) {
        closeNow();
        return;
    }
    if (silent_) {
        return;
    }
    if (dropAnswers_ > 0) {
        --dropAnswers_;
        return;
    }
    QByteArray answer = responder(request);
    if (corruptNext_.exchange(false)) {
        answer = corrupted(echoBody(request));
    }
    sendRaw(answer);
}

QList<QByteArray> PtyPeer::requests() const {
    std::lock_guard guard(mutex_);
    return requests_;
}

QList<std::int64_t> PtyPeer::requestTimes() const {
    std::lock_guard guard(mutex_);
    return requestTimes_;
}

QByteArray PtyPeer::received() const {
    std::lock_guard guard(mutex_);
    return received_;
}

int PtyPeer::requestCount() const {
    std::lock_guard guard(mutex_);
    return int(requests_.size());
}

bool PtyPeer::waitForRequests(int count, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return requests_.size() >= count; });
}

bool PtyPeer::waitForReceived(int bytes, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return received_.size() >= bytes; });
}

QByteArray PtyPeer::answerBody(const QByteArray& request, const QByteArray& data) {
    QByteArray body = nodeAddress(request.at(3)) + nodeAddress(1);
    body.append(char(request.at(4) | 0x40));
    body.append(request.at(5));
    return body + data;
}

QByteArray PtyPeer::echoBody(const QByteArray& request) {
    return answerBody(request, request.mid(6));
}

QByteArray PtyPeer::wire(const QByteArray& body) {
    return encodeFrame(body).value();
}

QByteArray PtyPeer::wireAnyLength(const QByteArray& body) {
    const std::uint16_t sum = frameChecksum(body);
    const QByteArray withSum = body + char(sum & 0xFF) + char(sum >> 8);
    QByteArray frame(1, char(kFrameDelimiter));
    for (const char c : withSum) {
        if (std::uint8_t(c) == kFrameDelimiter) {
            frame.append(char(kFrameEscape)).append(char(kEscapedDelimiter));
        } else if (std::uint8_t(c) == kFrameEscape) {
            frame.append(char(kFrameEscape)).append(char(kEscapedEscape));
        } else {
            frame.append(c);
        }
    }
    return frame.append(char(kFrameDelimiter));
}

QByteArray PtyPeer::corrupted(const QByteArray& body) {
    QByteArray frame = wire(body);
    // The byte before the closing delimiter is checksum (or its escape code); changing it keeps
    // the framing intact.
    char& last = frame[frame.size() - 2];
    const char changed = char(last ^ 0x01);
    last = (changed == char(0xC0) || changed == char(0xDB)) ? char(last ^ 0x02) : changed;
    return frame;
}

std::int64_t processCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return std::int64_t(t.tv_sec) * 1000 + t.tv_usec / 1000;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

}  // namespace verimant::test
