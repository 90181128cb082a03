#pragma once

#include "link/frame_codec.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace verimant::sim::test {

// The tool's end of the line, opened with plain termios: raw, and read with poll.
class RawLine {
public:
    explicit RawLine(const QString& path);
    ~RawLine();
    RawLine(const RawLine&) = delete;
    RawLine& operator=(const RawLine&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    bool sendBytes(const QByteArray& bytes);
    // Frames and sends a request body.
    bool send(const QByteArray& body);
    // The next complete frame body (without checksum), or nothing after the timeout.
    std::optional<QByteArray> receive(int timeoutMs);
    // Waits for the other side to hang up; true when it did.
    bool waitForHangup(int timeoutMs);
    // Raw bytes that arrived within the time.
    QByteArray drain(int timeoutMs);

private:
    int fd_ = -1;
    FrameDecoder decoder_;
};

}  // namespace verimant::sim::test
