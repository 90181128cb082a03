#pragma once

#include <QString>

#include <atomic>
#include <cstdint>

namespace verimant {

// A serial line opened raw, 8 data bits, no parity, one stop bit, no flow control, for this
// process alone. The descriptor is non-blocking; waiting happens in waitReadable, which another
// thread can cancel. A hang-up (adapter unplugged, pseudo-terminal master closed) is remembered:
// from then on reads, writes and waits fail at once instead of reporting the line forever ready.
class SerialDevice {
public:
    enum class WaitResult {
        Readable,   // bytes are waiting
        Cancelled,  // cancelWait() was called (stays so until the next open)
        HungUp,     // the line is gone
        Failed      // not open, or poll() failed
    };

    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens `path` exclusively and sets the line up; both queues start empty. False when the path
    // cannot be opened, is locked by someone else, or is not a terminal.
    bool open(const QString& path, int baudRate);
    // Signals any waiter, then releases the line. The caller must not let another thread use the
    // object while it closes (stop the waiter first).
    void close();
    bool isOpen() const { return fd_ >= 0; }
    bool hungUp() const { return hungUp_.load(); }
    // errno of the last failed open, for diagnostics.
    int lastError() const { return lastError_; }

    // Bytes in the driver's input queue; -1 when closed or hung up.
    int bytesWaiting();
    // Reads up to `count` bytes, waiting at most `timeoutMs` for them to arrive; returns the bytes
    // read (possibly fewer), or -1 on failure.
    int read(std::uint8_t* buffer, int count, int timeoutMs);
    // Writes all `count` bytes unless the line fails or `timeoutMs` passes while the driver's
    // output queue stays full; returns the bytes written, or -1 when none could be.
    int write(const std::uint8_t* data, int count, int timeoutMs);

    // Blocks until bytes are waiting, the wait is cancelled, or the line hangs up.
    WaitResult waitReadable();
    // Makes the current and every later waitReadable return Cancelled until the next open.
    // Callable from any thread.
    void cancelWait();

private:
    template <typename Step, typename EndsLine>
    int transferAll(int count, int timeoutMs, short events, Step step, EndsLine endsLine);
    bool configure(int baudRate);
    void markHungUp() { hungUp_.store(true); }

    int fd_ = -1;
    int cancelFd_ = -1;
    int lastError_ = 0;
    std::atomic<bool> hungUp_{false};
};

}  // namespace verimant
