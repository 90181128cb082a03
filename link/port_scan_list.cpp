#include "link/port_scan_list.h"

#include <QStringList>

namespace verimant {

PortScanList::PortScanList() {
    scanOrder_.fill(-1);
}

int PortScanList::portAt(int index) const {
    return index >= 0 && index < count_ ? scanOrder_[std::size_t(index)] : -1;
}

PortScanList::PortState PortScanList::state(int port) const {
    return takesPart(port) ? PortState(currentState_[std::size_t(port)]) : Absent;
}

bool PortScanList::excluded(int port) const {
    return takesPart(port) && excluded_[std::size_t(port)] != 0;
}

QList<int> PortScanList::leftAlone() const {
    QList<int> ports;
    for (int port = 0; port < kPortLimit; ++port) {
        if (currentState_[std::size_t(port)] != Absent && excluded(port)) {
            ports.append(port);
        }
    }
    return ports;
}

void PortScanList::rebuild() {
    changed_ = false;
    previousState_ = currentState_;
    currentState_.fill(Absent);
    enumerate();
    logPortList();
    updateStates();
    buildScanOrder();
    firstScan_ = false;
}

void PortScanList::enumerate() {
    entryCount_ = kPortLimit;
    enumeratePorts(entries_.data(), entryCount_);
    compactPortEntries(entries_.data(), entryCount_);
}

void PortScanList::logPortList() {
    QStringList numbers;
    for (int i = 0; i < entryCount_; ++i) {
        numbers << QString::number(entries_[std::size_t(i)].portNumber);
    }
    const QString text = numbers.join(QLatin1Char(','));
    if (text == lastLoggedPortList_) {
        return;
    }
    lastLoggedPortList_ = text;
    if (logSink_) {
        logSink_(QStringLiteral("PORT LIST: ") + text);
    }
}

void PortScanList::updateStates() {
    for (int i = 0; i < entryCount_; ++i) {
        const int port = entries_[std::size_t(i)].portNumber;
        if (!takesPart(port)) {
            continue;
        }
        const auto p = std::size_t(port);
        const bool isLast = port == lastConnectedPort_;
        if ((previousState_[p] == Absent && !firstScan_) || isLast) {
            changed_ = true;
        }
        if (firstScan_ && !isLast) {
            excluded_[p] = 1;
        }
        if (isLast) {
            currentState_[p] = LastConnected;
        } else {
            currentState_[p] = previousState_[p] != Absent ? PresentBefore : NewlyPresent;
        }
    }
    // A port that has gone is tried again when it comes back.
    for (std::size_t n = 0; n < std::size_t(kPortLimit); ++n) {
        if (currentState_[n] == Absent) {
            excluded_[n] = 0;
        }
    }
}

void PortScanList::buildScanOrder() {
    count_ = 0;
    appendInState(LastConnected, false);
    if (!firstScan_) {
        appendInState(NewlyPresent, false);
    }
    appendInState(PresentBefore, true);
    for (std::size_t i = std::size_t(count_); i < scanOrder_.size(); ++i) {
        scanOrder_[i] = -1;
    }
}

void PortScanList::appendInState(PortState wanted, bool skipExcluded) {
    for (int port = 0; port < kPortLimit; ++port) {
        const auto p = std::size_t(port);
        if (currentState_[p] == wanted && !(skipExcluded && excluded_[p] != 0)) {
            scanOrder_[std::size_t(count_++)] = port;
        }
    }
}

}  // namespace verimant
