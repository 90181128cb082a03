#include "link/device_protocol.h"

#include "base/user_dialogs.h"
#include "platform/event_wait.h"
#include "platform/monotonic_clock.h"

#include <QScopeGuard>
#include <QThread>

#include <algorithm>

namespace verimant {

namespace {

constexpr int kAnswerTimeoutMs = 700;
constexpr int kReadAreaSize = 1000;
constexpr int kMaxRequestPayload = 252;
constexpr int kWritePiece = 64;
// Address fields and both command bytes.
constexpr int kMinRoutedFrame = 6;
constexpr int kAddressBytes = 4;

std::uint8_t byteAt(const QByteArray& bytes, int index) {
    return static_cast<std::uint8_t>(bytes.at(index));
}

// An answer repeats the request's command bytes with bit 6 set in the first.
bool answers(const QByteArray& frame, const QByteArray& request) {
    if (frame.size() < kMinRoutedFrame) {
        return false;
    }
    const std::uint8_t group = byteAt(frame, kAddressBytes);
    const std::uint8_t command = byteAt(frame, kAddressBytes + 1);
    return (group & 0x40) != 0 && (group & 0x3F) == (byteAt(request, 0) & 0x3F) &&
           (command & 0x3F) == (byteAt(request, 1) & 0x3F);
}

}  // namespace

DeviceProtocol::DeviceProtocol() {
    createChannel(kGeneralChannel);
    createChannel(kExternalFlashChannel);
    createChannel(kCpuFlashChannel);
}

DeviceProtocol::~DeviceProtocol() {
    stopReceiving();
}

ProtocolChannel* DeviceProtocol::createChannel(int key) {
    std::lock_guard guard(lock_);
    const bool usable = key >= 1 && key <= 31 && channel(key) == nullptr;
    channels_.push_back(std::unique_ptr<ProtocolChannel>(new ProtocolChannel(usable ? key : -1)));
    return channels_.back().get();
}

ProtocolChannel* DeviceProtocol::channel(int key) const {
    if (key < 0) {
        return nullptr;
    }
    std::lock_guard guard(lock_);
    for (const auto& each : channels_) {
        if (each->key_ == key) {
            return each.get();
        }
    }
    return nullptr;
}

bool DeviceProtocol::sendFrame(ProtocolChannel* channel, const QByteArray& payload) {
    // Longer requests did not fit the request area; none of the commands comes near it.
    if (channel == nullptr || payload.size() < 2 || payload.size() > kMaxRequestPayload) {
        return false;
    }
    std::lock_guard guard(lock_);
    const std::optional<QByteArray> frame =
        encodeFrame(channel->deviceAddress_ + nodeAddress(channel->key_) + payload);
    if (!frame) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame->constData());
    const int length = int(frame->size());
    for (int offset = 0; offset < length; offset += kWritePiece) {
        const int piece = std::min(kWritePiece, length - offset);
        // The rest of a frame that broke off is useless; the device resynchronises at the next
        // delimiter.
        if (write(bytes + offset, piece) != piece) {
            return false;
        }
    }
    return true;
}

bool DeviceProtocol::transact(ProtocolChannel* channel, const QByteArray& payload,
                              const QString& message, const AnswerCheck& belongs, int sends) {
    if (channel == nullptr || payload.size() < 2 || !isOpen() || (stopped_ && stopped_())) {
        return false;
    }
    if (waitForAnswer(channel, payload, belongs, std::clamp(sends, 1, kMaxSends))) {
        return true;
    }
    const QString text =
        message == QLatin1String("*") ? QStringLiteral("No answer from device") : message;
    if (!text.isEmpty()) {
        userDialogs().showError(text);
    }
    return false;
}

bool DeviceProtocol::waitForAnswer(ProtocolChannel* channel, const QByteArray& payload,
                                   const AnswerCheck& belongs, int sends) {
    {
        std::lock_guard guard(lock_);
        channel->queue_.clear();
        waitingThread_ = QThread::currentThread();
    }
    // A line that has hung up answers nothing; waiting for it would only keep the dead port open
    // while a restarted instrument comes back under another device number.
    const auto answeredOrGone = [&] {
        return takeAnswer(channel, payload, belongs) || lineHungUp();
    };
    ++transactionsWaiting_;
    const auto done = qScopeGuard([this] { --transactionsWaiting_; });
    for (int send = 1; send <= sends && !lineHungUp(); ++send) {
        sendFrame(channel, payload);
        // The event loop runs meanwhile; the reader thread wakes it when it queues a frame.
        if (pumpEventsUntil(answeredOrGone, kAnswerTimeoutMs)) {
            return takeAnswer(channel, payload, belongs);
        }
    }
    return false;
}

bool DeviceProtocol::takeAnswer(ProtocolChannel* channel, const QByteArray& request,
                                const AnswerCheck& belongs) {
    std::lock_guard guard(lock_);
    while (channel->queue_.count() > 0) {
        const QByteArray& frame = channel->queue_.peek();
        if (answers(frame, request) && (!belongs || belongs(frame.mid(kMinRoutedFrame)))) {
            return true;
        }
        channel->queue_.pop();
    }
    return false;
}

QByteArray DeviceProtocol::answerData(ProtocolChannel* channel) const {
    if (channel == nullptr) {
        return {};
    }
    std::lock_guard guard(lock_);
    return channel->queue_.peek().mid(kMinRoutedFrame);
}

int DeviceProtocol::answerDataLength(ProtocolChannel* channel) const {
    return int(answerData(channel).size());
}

int DeviceProtocol::testConnection(const QByteArray& data, bool report) {
    ProtocolChannel* general = channel(kGeneralChannel);
    if (general == nullptr || data.isEmpty()) {
        return -1;
    }
    if (!isOpen()) {
        return -2;
    }
    const QByteArray sent = data.left(16);
    const QString message = report ? QStringLiteral("No answer in connection test") : QString();
    if (!transact(general, QByteArray("\x01\x00", 2) + sent, message)) {
        return 0;
    }
    const QByteArray echo = answerData(general);
    const int length = int(echo.size());
    // Only an echo that carries every sent byte counts.
    return length >= 2 && length <= int(data.size()) + 1 && echo.startsWith(sent) ? 1 : 0;
}

void DeviceProtocol::onReceive(int count) {
    std::uint8_t area[kReadAreaSize];
    const int received = read(area, std::min(count, kReadAreaSize));
    for (int i = 0; i < received; ++i) {
        if (decoder_.feed(area[i])) {
            route(decoder_.frameData(), decoder_.frameLength());
        }
    }
}

void DeviceProtocol::onHangUp() {
    wakeThread(currentWaiter());
}

QThread* DeviceProtocol::currentWaiter() const {
    std::lock_guard guard(lock_);
    return waitingThread_;
}

void DeviceProtocol::route(const std::uint8_t* frame, int length) {
    if (length < kMinRoutedFrame) {
        return;
    }
    QThread* waiter = nullptr;
    {
        std::lock_guard guard(lock_);
        ProtocolChannel* target = channel(frame[1] & 0x1F);
        // A full queue or an oversized frame is dropped; the transaction waiting for it resends.
        if (target == nullptr || !target->queue_.put(frame, length)) {
            return;
        }
        waiter = waitingThread_;
    }
    // Woken while this thread still held the lock, the waiter would first block on it in
    // takeAnswer and need a second wake-up from the unlock: one hand-off more per answer.
    wakeThread(waiter);
}

}  // namespace verimant
