#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace verimant::test {

// The far end of a real pseudo-terminal, standing in for the instrument. The tool's side opens
// the slave through the port map (a COM<n> link in VERIMANT_PORTS_DIR); the peer reads requests
// from the master on its own thread, decodes them, and answers through a responder that the test
// can replace, with switches for the faults a real line shows.
class PtyPeer {
public:
    // Wire bytes to write for the request body (address fields and payload); empty for none.
    using Responder = std::function<QByteArray(const QByteArray& request)>;

    explicit PtyPeer(int portNumber = 7);
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ready() const { return master_ >= 0; }
    int portNumber() const { return portNumber_; }
    QString slavePath() const { return slavePath_; }
    // A descriptor of the slave that the peer keeps open, for looking at the line's state.
    int slaveFd() const { return slave_; }

    void setResponder(Responder responder);
    // The next `count` answers are not sent.
    void dropAnswers(int count) { dropAnswers_ = count; }
    // The next answer goes out with a damaged checksum.
    void corruptNextAnswer() { corruptNext_ = true; }
    void setSilent(bool silent) { silent_ = silent; }
    // Closes the master (the device is unplugged) when request number `index` (from 0) arrives,
    // before answering it.
    void closeOnRequest(int index) { closeOnRequest_ = index; }
    // Closes the master now; returns once it is closed.
    void closeMaster();
    bool masterClosed() const { return masterClosed_; }

    // Writes bytes to the line as the device would.
    void sendRaw(const QByteArray& bytes);

    QList<QByteArray> requests() const;
    // Arrival times (monotonic ms) of the requests.
    QList<std::int64_t> requestTimes() const;
    // Every byte received, in order.
    QByteArray received() const;
    int requestCount() const;
    bool waitForRequests(int count, int timeoutMs) const;
    bool waitForReceived(int bytes, int timeoutMs) const;

    // Body of the device's answer to `request`: addressed back to the asking node, command bytes
    // repeated with bit 6 set, then `data`.
    static QByteArray answerBody(const QByteArray& request, const QByteArray& data);
    // The echo the device gives to every request: the request's data bytes repeated.
    static QByteArray echoBody(const QByteArray& request);
    static QByteArray wire(const QByteArray& body);
    // Frames a body of any length, past what the tool's own encoder would send.
    static QByteArray wireAnyLength(const QByteArray& body);
    // The same frame with its checksum damaged.
    static QByteArray corrupted(const QByteArray& body);

private:
    void run();
    void handle(const QByteArray& request);
    void closeNow();

    int portNumber_;
    QString linkPath_;
    QString slavePath_;
    int master_ = -1;
    int slave_ = -1;

    Responder responder_;
    std::atomic<int> dropAnswers_{0};
    std::atomic<bool> corruptNext_{false};
    std::atomic<bool> silent_{false};
    std::atomic<int> closeOnRequest_{-1};
    std::atomic<bool> closeRequested_{false};
    std::atomic<bool> masterClosed_{false};
    std::atomic<bool> stop_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    QList<QByteArray> requests_;
    QList<std::int64_t> requestTimes_;
    QByteArray received_;
    std::thread thread_;
};

// Processor time (user + system) this process has used, in milliseconds.
std::int64_t processCpuMs();

}  // namespace verimant::test
