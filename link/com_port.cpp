#include "link/com_port.h"

#include "platform/port_map.h"
#include "platform/serial_device.h"

#include <chrono>
#include <mutex>
#include <system_error>
#include <thread>

namespace verimant {

namespace {

// Reads and writes only ever ask for bytes that the driver already holds or can take at once;
// the limit only matters for a line that has stopped moving, and then keeps the I/O lock from
// being held for long: 100 ms plus ten times the line time of the bytes at 230400 baud.
int transferTimeoutMs(int count) {
    return 100 + count * 10 * 10 / 230;
}

}  // namespace

struct ComPort::Impl {
    SerialDevice device;
    std::mutex ioLock;
    std::thread reader;

    void stopReader() {
        if (!reader.joinable()) {
            return;
        }
        device.cancelWait();
        reader.join();
    }
};

ComPort::ComPort() : impl_(std::make_unique<Impl>()) {}

ComPort::~ComPort() {
    stopReceiving();
    close();
}

bool ComPort::isOpen() const {
    return impl_->device.isOpen();
}

bool ComPort::open(int baudRate) {
    const QString prefix = QStringLiteral("Open COM ") + QString::number(portNumber_) + " : ";
    if (isOpen()) {
        close();
    }
    if (portNumber_ == 0) {
        return false;
    }
    const QString path = portDevicePath(portNumber_);
    bool opened = false;
    if (!path.isEmpty()) {
        std::lock_guard guard(impl_->ioLock);
        opened = impl_->device.open(path, baudRate);
    }
    if (opened) {
        ++connectionCount_;
        try {
            impl_->reader = std::thread([this] { receiveLoop(); });
        } catch (const std::system_error&) {
            std::lock_guard guard(impl_->ioLock);
            impl_->device.close();
            opened = false;
        }
    }
    log(prefix + (opened ? QStringLiteral("OK") : QStringLiteral("Error")));
    return opened;
}

bool ComPort::close() {
    if (!isOpen()) {
        return false;
    }
    impl_->stopReader();
    {
        std::lock_guard guard(impl_->ioLock);
        impl_->device.close();
    }
    ++connectionCount_;
    log(QStringLiteral("Close COM ") + QString::number(portNumber_) + QStringLiteral(" : OK"));
    return true;
}

int ComPort::read(std::uint8_t* buffer, int count) {
    if (!isOpen() || buffer == nullptr || count <= 0) {
        return 0;
    }
    std::lock_guard guard(impl_->ioLock);
    const int n = impl_->device.read(buffer, count, transferTimeoutMs(count));
    return n > 0 ? n : 0;
}

int ComPort::write(const std::uint8_t* data, int count) {
    if (!isOpen() || data == nullptr || count <= 0) {
        return 0;
    }
    std::lock_guard guard(impl_->ioLock);
    const int n = impl_->device.write(data, count, transferTimeoutMs(count));
    return n > 0 ? n : 0;
}

bool ComPort::lineHungUp() const {
    return impl_->device.hungUp();
}

void ComPort::onReceive(int) {}

void ComPort::onHangUp() {}

void ComPort::stopReceiving() {
    impl_->stopReader();
}

void ComPort::receiveLoop() {
    // Stops for good at a cancel, and at a hang-up: a line that has gone stays "ready" for ever
    // and would otherwise keep this thread busy until the port is closed. Any other failure of
    // the wait is passing; the wait is simply restarted, after a pause that keeps a persistent
    // failure from spinning.
    for (;;) {
        switch (impl_->device.waitReadable()) {
            case SerialDevice::WaitResult::Readable:
                if (const int waiting = impl_->device.bytesWaiting(); waiting > 0) {
                    onReceive(waiting);
                }
                break;
            case SerialDevice::WaitResult::Failed:
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                break;
            case SerialDevice::WaitResult::HungUp:
                onHangUp();
                return;
            case SerialDevice::WaitResult::Cancelled:
                return;
        }
    }
}

void ComPort::log(const QString& line) const {
    if (logSink_) {
        logSink_(line);
    }
}

}  // namespace verimant
