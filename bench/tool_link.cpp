#include "bench/tool_link.h"

namespace verimant::bench {

namespace {

constexpr int kBaudRate = 230400;

}  // namespace

bool ToolLink::open(int portNumber, QString* error) {
    protocol_.setPortNumber(portNumber);
    if (!protocol_.open(kBaudRate)) {
        if (error) {
            *error = QStringLiteral("cannot open COM") + QString::number(portNumber);
        }
        return false;
    }
    // Nothing watches the link here; the instrument is known to be there.
    flags_.deviceConnected = true;
    return true;
}

bool ToolLink::watchPort(int portNumber) {
    protocol_.setLogSink([this](const QString& line) { log_.AddLine(line); });
    manager_.attachTimer(timer_);
    manager_.chooseManualPort(portNumber);
    manager_.tick();
    return flags_.deviceConnected;
}

}  // namespace verimant::bench
