#pragma once

#include "link/device_protocol.h"
#include "link/link_flags.h"

#include <QTimer>

namespace verimant::test {

// What the connection manager does while it scans, reduced to one port: every 500 ms, while
// deviceConnected is clear, it reopens the port when the line has gone and sets deviceConnected
// once the echo test is answered. It runs inside the waits of the code under test.
class ReconnectTicker {
public:
    ReconnectTicker(DeviceProtocol& protocol, LinkFlags& flags, int baudRate);

    int reopenCount() const { return reopens_; }

private:
    void tick();

    DeviceProtocol& protocol_;
    LinkFlags& flags_;
    int baudRate_;
    QTimer timer_;
    bool busy_ = false;
    int reopens_ = 0;
};

}  // namespace verimant::test
