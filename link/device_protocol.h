#pragma once

#include "link/com_port.h"
#include "link/frame_codec.h"
#include "link/frame_fifo.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

namespace verimant {

// One conversation partner inside the tool: requests go out with the channel's key as source
// node, answers come back addressed to it and wait in its queue.
class ProtocolChannel {
public:
    static constexpr int kQueueCapacity = 10;

    int key() const { return key_; }
    int queuedCount() const { return queue_.count(); }

private:
    friend class DeviceProtocol;
    explicit ProtocolChannel(int key) : key_(key), queue_(kQueueCapacity) {}

    int key_;
    FrameFifo queue_;
    QByteArray deviceAddress_ = nodeAddress(1);
};

// The packet protocol over the one serial port: framing, routing of answers to channels on the
// reader thread, and request/answer transactions on the GUI thread.
class DeviceProtocol : public ComPort {
public:
    // The tool's channels, created at construction in this order.
    static constexpr int kGeneralChannel = 1;
    static constexpr int kExternalFlashChannel = 2;
    static constexpr int kCpuFlashChannel = 3;

    DeviceProtocol();
    ~DeviceProtocol() override;

    // Keys outside 1..31 or already taken give a channel with key -1, which receives nothing.
    ProtocolChannel* createChannel(int key);
    ProtocolChannel* channel(int key) const;

    // Frames and writes one request, in writes of at most 64 bytes. Nothing for a payload shorter
    // than 2 or longer than 252 bytes, or one whose frame would be too long. True when the whole
    // frame was written.
    bool sendFrame(ProtocolChannel* channel, const QByteArray& payload);

    // Tells from an answer's data (after the command bytes) whether it answers this very request.
    // A late duplicate answer to an earlier request carries the same command bytes; its echoed
    // address or parameter id gives it away.
    using AnswerCheck = std::function<bool(const QByteArray& answerData)>;

    // At most this many sends of one request: the first and two resends.
    static constexpr int kMaxSends = 3;

    // Sends the request and waits up to 700 ms for its answer, `sends` sends in all (1 up to
    // kMaxSends; three unless a caller treats silence as an answer of its own). Frames with
    // other command bytes, or that `belongs` refuses, are dropped and the wait goes on. On a line
    // that has hung up it fails at once. On failure the message is shown in an error box: "*" for
    // "No answer from device", empty for no box.
    bool transact(ProtocolChannel* channel, const QByteArray& payload, const QString& message,
                  const AnswerCheck& belongs = {}, int sends = kMaxSends);

    // While `stopped` returns true, every transaction fails at once, sending nothing and showing
    // no box: a run asked to stop lets the request under way finish and starts no other.
    void setStopCheck(std::function<bool()> stopped) { stopped_ = std::move(stopped); }

    // The answer's data bytes (after the two command bytes), valid until the next transaction on
    // the channel.
    QByteArray answerData(ProtocolChannel* channel) const;
    int answerDataLength(ProtocolChannel* channel) const;

    // True while a transaction waits for its answer. Its wait runs the event loop, so timer
    // handlers can find the line in use.
    bool transactionWaiting() const { return transactionsWaiting_ > 0; }

    // Echo test: 1 answered correctly, 0 no or wrong answer, -1 no channel or data, -2 port closed.
    int testConnection(const QByteArray& data, bool report);

protected:
    void onReceive(int count) override;
    void onHangUp() override;

private:
    // Queues a completed frame (address fields and payload) on the channel it is addressed to.
    void route(const std::uint8_t* frame, int length);
    // Drops queued frames that do not answer `request`; true when the head answers it.
    bool takeAnswer(ProtocolChannel* channel, const QByteArray& request,
                    const AnswerCheck& belongs);
    bool waitForAnswer(ProtocolChannel* channel, const QByteArray& payload,
                       const AnswerCheck& belongs, int sends);
    // The thread a transaction waits on, read under the lock and woken after it.
    QThread* currentWaiter() const;

    mutable std::recursive_mutex lock_;
    std::vector<std::unique_ptr<ProtocolChannel>> channels_;
    FrameDecoder decoder_;
    QThread* waitingThread_ = nullptr;
    int transactionsWaiting_ = 0;  // GUI thread only
    std::function<bool()> stopped_;
};

}  // namespace verimant
