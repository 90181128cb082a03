#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace verimant {

class SerialDevice;

// The one serial port, opened by number through the port map, raw 8N1 without flow control. While
// open, a reader thread waits for received bytes and calls onReceive with how many are waiting;
// read and write are serialised against each other. Opening and closing are logged.
class ComPort {
public:
    using LogSink = std::function<void(const QString&)>;

    ComPort();
    virtual ~ComPort();
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    int portNumber() const { return portNumber_; }
    void setPortNumber(int number) { portNumber_ = number; }
    // The sink must outlive the port: destroying an open port closes it, which logs.
    void setLogSink(LogSink sink) { logSink_ = std::move(sink); }

    // Closes first when open; port 0 is refused without a log line. Logs "Open COM n : OK" or
    // "Open COM n : Error".
    bool open(int baudRate);
    // False when not open; otherwise stops the reader thread and logs "Close COM n : OK".
    bool close();
    bool isOpen() const;
    // True once the open line has hung up (adapter unplugged, other side gone): it stays open,
    // but reads and writes fail until it is closed and opened again.
    bool lineHungUp() const;
    // Goes up at every open and every close, so that what was learned about the instrument on the
    // other end can be tied to the connection it came over.
    std::uint64_t connectionCount() const { return connectionCount_; }

    // Both return the bytes transferred, 0 when the port is closed.
    int read(std::uint8_t* buffer, int count);
    int write(const std::uint8_t* data, int count);

protected:
    // Runs on the reader thread with the number of bytes waiting in the driver's input queue.
    virtual void onReceive(int count);
    // Runs on the reader thread once, when it sees the line hang up; the thread ends after it.
    virtual void onHangUp();

    // Derived classes must call this first in their destructor, so the reader thread never calls
    // an override of an object that is being destroyed.
    void stopReceiving();

private:
    void log(const QString& line) const;
    void receiveLoop();

    struct Impl;
    std::unique_ptr<Impl> impl_;
    int portNumber_ = 0;
    std::uint64_t connectionCount_ = 0;
    LogSink logSink_;
};

}  // namespace verimant
