#pragma once

#include "platform/port_map.h"

#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace verimant {

// The order in which automatic mode tries serial ports. The ports that exist when the tool starts
// are left alone until they disappear and come back (they may belong to other equipment); a port
// that shows up later is tried at once; a port that was tried and failed stays in the rotation;
// and while the last connected port exists it is tried first, on its own.
class PortScanList {
public:
    // Only port numbers below this take part.
    static constexpr int kPortLimit = 1000;

    enum PortState : std::uint8_t {
        Absent = 0,
        PresentBefore = 1,
        NewlyPresent = 2,
        LastConnected = 3,
    };

    using LogSink = std::function<void(const QString&)>;

    PortScanList();

    // Logs "PORT LIST: " with the ports found whenever that list differs from the one last logged.
    void setLogSink(LogSink sink) { logSink_ = std::move(sink); }

    // Enumerates the ports again and rebuilds the scan order.
    void rebuild();

    int count() const { return count_; }
    // The port at `index` of the scan order; -1 outside it.
    int portAt(int index) const;
    // Whether the last rebuild found a new port or the last connected port.
    bool changed() const { return changed_; }
    bool firstScan() const { return firstScan_; }
    int lastConnectedPort() const { return lastConnectedPort_; }
    void setLastConnectedPort(int port) { lastConnectedPort_ = port; }
    PortState state(int port) const;
    bool excluded(int port) const;
    // The ports present now that the scan leaves alone because they existed at the start.
    QList<int> leftAlone() const;
    const QString& lastLoggedPortList() const { return lastLoggedPortList_; }

private:
    static bool takesPart(int port) { return port >= 0 && port < kPortLimit; }
    void enumerate();
    void logPortList();
    void updateStates();
    void buildScanOrder();
    void appendInState(PortState wanted, bool skipExcluded);

    std::array<PortEntry, kPortLimit> entries_{};
    int entryCount_ = 0;
    std::array<std::uint8_t, kPortLimit> previousState_{};
    std::array<std::uint8_t, kPortLimit> currentState_{};
    std::array<std::int32_t, kPortLimit> scanOrder_{};
    std::array<std::int32_t, kPortLimit> excluded_{};
    int count_ = 0;
    int lastConnectedPort_ = -1;
    bool changed_ = false;
    bool firstScan_ = true;
    QString lastLoggedPortList_;
    LogSink logSink_;
};

}  // namespace verimant
