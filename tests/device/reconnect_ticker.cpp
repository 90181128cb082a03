#include "tests/device/reconnect_ticker.h"

namespace verimant::test {

ReconnectTicker::ReconnectTicker(DeviceProtocol& protocol, LinkFlags& flags, int baudRate)
    : protocol_(protocol), flags_(flags), baudRate_(baudRate) {
    timer_.setInterval(500);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    timer_.start();
}

void ReconnectTicker::tick() {
    // The echo test waits with the event loop running, so a tick can arrive inside a tick.
    if (busy_ || flags_.deviceConnected) {
        return;
    }
    busy_ = true;
    if (!protocol_.isOpen() || protocol_.lineHungUp()) {
        protocol_.close();
        if (protocol_.open(baudRate_)) {
            ++reopens_;
        }
    }
    if (protocol_.isOpen() && protocol_.testConnection("Verimant", false) == 1) {
        flags_.deviceConnected = true;
    }
    busy_ = false;
}

}  // namespace verimant::test
