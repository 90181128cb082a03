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

}  // namespace verimant::bench
