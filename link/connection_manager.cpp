#include "link/connection_manager.h"

#include "base/activity_log.h"
#include "base/ui_language.h"
#include "base/user_dialogs.h"
#include "link/device_protocol.h"
#include "platform/event_wait.h"

#include <QTimer>

namespace verimant {

namespace {

// The eight letters the instrument echoes in the link test.
const QByteArray kLinkTestLetters = QByteArrayLiteral("Tarvelon");

// Clears the busy flag on every way out of a tick.
class BusyGuard {
public:
    explicit BusyGuard(bool& busy) : busy_(busy) { busy_ = true; }
    ~BusyGuard() { busy_ = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    bool& busy_;
};

}  // namespace

ConnectionManager::ConnectionManager(DeviceProtocol& protocol, LinkFlags& flags, ActivityLog& log,
                                     QObject* parent)
    : QObject(parent), protocol_(protocol), flags_(flags), log_(log) {
    scanList_.setLogSink([this](const QString& line) { log_.AddLine(line); });
}

void ConnectionManager::attachTimer(QTimer& timer) {
    timer.setInterval(kTickIntervalMs);
    connect(&timer, &QTimer::timeout, this, &ConnectionManager::tick);
}

bool ConnectionManager::waitForDevice(int timeoutMs) {
    return pumpEventsUntil([this] { return flags_.deviceConnected; }, timeoutMs);
}

void ConnectionManager::tick() {
    // A tick inside another transaction's wait would empty that transaction's answer queue on the
    // shared general channel and force needless resends; the line is evidently in use anyway.
    if (busy_ || protocol_.transactionWaiting()) {
        return;
    }
    {
        BusyGuard guard(busy_);
        blink_ = !blink_;
        if (!dropHungUpLine()) {
            tickByMode();
        }
    }
    runWorkAfterTick();
}

void ConnectionManager::tickByMode() {
    switch (connectionMode_) {
        case kManualMode:
            tickManual();
            break;
        case kAutoWatching:
            tickWatching();
            break;
        case kAutoScanning:
            tickScanning();
            break;
        default:
            break;
    }
}

void ConnectionManager::runOutsideTick(std::function<void()> work) {
    if (!busy_) {
        work();
        return;
    }
    afterTick_.push_back(std::move(work));
}

void ConnectionManager::runWorkAfterTick() {
    // Posted, not called: run from here it would still sit inside the timer's handler, and a
    // timer does not fire again until its handler has returned.
    for (auto& work : afterTick_) {
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
    }
    afterTick_.clear();
}

void ConnectionManager::tickManual() {
    if (candidatePort_ >= 0 && candidatePort_ != connectedPort_ && flags_.deviceConnected) {
        // Another number was chosen: let go of the old port first, the new one opens next tick.
        dropLink();
        return;
    }
    const int choice = choiceCount_;
    if (flags_.deviceConnected) {
        if (linkAnswered() && choice == choiceCount_) {
            show(LinkState::Ok);
        }
        return;
    }
    connectedPort_ = -1;
    protocol_.close();
    if (candidatePort_ < 0) {
        return;
    }
    if (!openCandidate()) {
        show(LinkState::Nok);
        return;
    }
    if (linkAnswered() && choice == choiceCount_) {
        markConnected();
    }
}

void ConnectionManager::tickWatching() {
    if (!flags_.deviceConnected) {
        show(LinkState::Nok);
        connectionMode_ = kAutoScanning;
        return;
    }
    const int choice = choiceCount_;
    const bool answered = linkAnswered();
    if (choice != choiceCount_) {
        return;  // a menu choice made during the test decides what happens next
    }
    if (answered) {
        show(LinkState::Ok);
    } else {
        connectionMode_ = kAutoScanning;
    }
}

void ConnectionManager::tickScanning() {
    scanList_.rebuild();
    const int count = scanList_.count();
    if (count == 0) {
        connectedPort_ = -1;
        candidatePort_ = -1;
        flags_.deviceConnected = false;
        protocol_.close();
        show(LinkState::Nok);
        return;
    }
    if (scanList_.changed()) {
        scanPosition_ = 0;
    }
    if (scanPosition_ >= count) {
        // The list shrank behind the position without anything new appearing. Start over next
        // tick, or the ports still in the rotation would never be tried again.
        scanPosition_ = 0;
        return;
    }
    if (tryScanCandidate()) {
        return;
    }
    ++scanPosition_;
    if (scanPosition_ >= count) {
        scanPosition_ = 0;
    }
}

bool ConnectionManager::tryScanCandidate() {
    candidatePort_ = scanList_.portAt(scanPosition_);
    if (candidatePort_ < 0) {
        return false;
    }
    protocol_.setPortNumber(candidatePort_);
    protocol_.close();
    if (!protocol_.open(kBaudRate)) {
        // A port that cannot be opened is simply passed over until its turn comes again.
        return false;
    }
    const int choice = choiceCount_;
    if (!linkAnswered()) {
        return false;
    }
    if (choice != choiceCount_) {
        // The user chose another way of connecting while the test waited; this scan is over.
        return true;
    }
    markConnected();
    connectionMode_ = kAutoWatching;
    return true;
}

bool ConnectionManager::dropHungUpLine() {
    if (!protocol_.isOpen() || !protocol_.lineHungUp()) {
        return false;
    }
    // Closing at once frees the device number, so an instrument that restarts (or is plugged back)
    // comes back under the same one; the link test is skipped during writes and would not notice.
    dropLink();
    if (connectionMode_ == kAutoWatching) {
        connectionMode_ = kAutoScanning;
    }
    return true;
}

bool ConnectionManager::linkAnswered() {
    const int result = linkTest();
    if (result < 0) {
        markLost();  // the port or the protocol is not ready
    } else if (result == 0) {
        dropLink();
    }
    return result > 0;
}

int ConnectionManager::linkTest() {
    if (!flags_.linkCheckEnabled) {
        return 1;
    }
    return protocol_.testConnection(kLinkTestLetters, false);
}

bool ConnectionManager::openCandidate() {
    protocol_.setPortNumber(candidatePort_);
    return protocol_.open(kBaudRate);
}

void ConnectionManager::markConnected() {
    // The port the protocol has open: the candidate may have been changed by a menu choice made
    // inside the link test's wait.
    connectedPort_ = protocol_.portNumber();
    scanList_.setLastConnectedPort(connectedPort_);
    flags_.deviceConnected = true;
    show(LinkState::Ok);
}

void ConnectionManager::markLost() {
    show(LinkState::Nok);
    connectedPort_ = -1;
    flags_.deviceConnected = false;
}

void ConnectionManager::dropLink() {
    protocol_.close();
    connectedPort_ = -1;
    flags_.deviceConnected = false;
    show(LinkState::Err);
}

void ConnectionManager::show(LinkState state) {
    if (view_ == nullptr) {
        return;
    }
    switch (state) {
        case LinkState::Ok:
            view_->showConnectionState(
                state, blink_ ? QStringLiteral("= OK =") : QStringLiteral("OK"), kOkColour);
            break;
        case LinkState::Err:
            view_->showConnectionState(
                state, blink_ ? QStringLiteral("= ERR =") : QStringLiteral("ERR"), kErrColour);
            break;
        case LinkState::Nok:
            view_->showConnectionState(
                state, blink_ ? QStringLiteral("= NOK =") : QStringLiteral("NOK"), kNokColour);
            break;
    }
    view_->showComText(protocol_.isOpen()
                           ? QStringLiteral("COM ") + QString::number(protocol_.portNumber())
                           : QStringLiteral("----"));
}

void ConnectionManager::chooseAutomatic() {
    connectionMode_ = kAutoWatching;
    ++choiceCount_;
}

bool ConnectionManager::chooseManualPort(int port) {
    if (port < 0 || port > kHighestManualPort) {
        return false;
    }
    manualPortNumber_ = port;
    candidatePort_ = port;
    connectionMode_ = kManualMode;
    ++choiceCount_;
    return true;
}

ConnectionManager::PortNumberEntry ConnectionManager::askManualPortNumber() {
    QString text = QString::number(currentPort());
    if (!userDialogs().askText(
            PickText(QStringLiteral("Установка соединения"), QStringLiteral("Connecting")),
            PickText(QStringLiteral("Введите номер COM порта от 0 до 250"),
                     QStringLiteral("Enter COM Port Number from 0 to 250")),
            text)) {
        return PortNumberEntry::Cancelled;
    }
    if (!chooseManualPort(parsePortNumber(text))) {
        userDialogs().showError(PickText(QStringLiteral("Ошибка формата номера COM порта"),
                                         QStringLiteral("COM Port Number Format Error")));
        return PortNumberEntry::Rejected;
    }
    return PortNumberEntry::Accepted;
}

QList<int> ConnectionManager::portsLeftAlone() const {
    return connectionMode_ == kManualMode ? QList<int>() : scanList_.leftAlone();
}

QString ConnectionManager::manualCaption() const {
    return PickText(QStringLiteral("Вручную COM"), QStringLiteral("Manual COM")) +
           QString::number(manualPortNumber_);
}

int ConnectionManager::parsePortNumber(const QString& text) {
    bool ok = false;
    const int number = text.trimmed().toInt(&ok, 10);
    return ok ? number : -1;
}

}  // namespace verimant
