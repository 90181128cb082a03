#pragma once

#include "link/frame_codec.h"
#include "sim/instrument.h"
#include "sim/pty_endpoint.h"
#include "sim/sim_faults.h"
#include "sim/wire_pacer.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace verimant::sim {

struct PtyInstrumentOptions {
    int portNumber = 7;
    // Folder of the COM<n> links; empty means the environment's VERIMANT_PORTS_DIR.
    QString portsDir;
    // Answers leave no faster than the real line carries them.
    bool paced = false;
    int baudRate = 230400;
    // How long a RESET keeps the instrument away before it comes back in the new mode.
    int resetDelayMs = 1500;
    std::uint32_t faultSeed = 1;
    SimFaults faults;
};

// The instrument on a pseudo-terminal, served by a thread of its own: requests are decoded from
// the master side and answered there; a RESET (and the unplug fault) removes the COM<n> link and
// closes the pty, as pulling a USB instrument does, and brings a new one back under the same
// number.
class PtyInstrument {
public:
    // Called on the serving thread (and once from start()) whenever the instrument appears or
    // disappears.
    using LinkListener =
        std::function<void(bool present, const QString& slavePath, InstrumentMode mode)>;

    explicit PtyInstrument(InstrumentConfig config = {}, PtyInstrumentOptions options = {});
    ~PtyInstrument();
    PtyInstrument(const PtyInstrument&) = delete;
    PtyInstrument& operator=(const PtyInstrument&) = delete;

    void setLinkListener(LinkListener listener) { listener_ = std::move(listener); }

    // Creates the pty and the link before it returns. False with a reason on failure.
    bool start(QString* error = nullptr);
    // Stops the thread, removes the link and closes the pty. Safe to call twice.
    void stop();

    int portNumber() const { return options_.portNumber; }
    QString portsDir() const { return portsDir_; }
    QString linkPath() const { return portLinkPath(portsDir_, options_.portNumber); }
    QString slavePath() const;

    bool isPresent() const;
    // Times the instrument has appeared, the first start included.
    int appearanceCount() const;
    bool waitUntilPresent(int timeoutMs) const;
    bool waitUntilAbsent(int timeoutMs) const;
    // Waits until the instrument has appeared at least `count` times and is present.
    bool waitForAppearance(int count, int timeoutMs) const;

    // Pull the cable / plug it back in (same mode).
    void unplug();
    void replug();

    void setFaults(const SimFaults& faults);
    SimFaults faults() const;

    // Every frame decoded from the line, answered or not (silence included).
    int framesReceived() const;
    // Bytes taken from and put on the line over the whole run, delimiters and stuffing included:
    // what a real line would have carried.
    std::int64_t lineBytesReceived() const { return lineBytesReceived_.load(); }
    std::int64_t lineBytesSent() const { return lineBytesSent_.load(); }
    // Answers that the loss and damage faults took, so a run can tell how hard the line was.
    int answersLost() const { return answersLost_.load(); }
    int answersDamaged() const { return answersDamaged_.load(); }

    // Runs f on the instrument under the state lock; copy out what you need.
    template <typename F>
    decltype(auto) withInstrument(F&& f) {
        std::lock_guard lock(stateMutex_);
        return f(instrument_);
    }
    // A copy of the whole state (flash contents are shared until written, so this is cheap).
    Instrument snapshot() const;
    bool saveFiles(const QString& dir, QString* error = nullptr) const;

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void serveLine();
    void serveFrame(const QByteArray& body);
    void sendAnswer(const QByteArray& body, const SimFaults& faults);
    bool writeToLine(const QByteArray& bytes);
    void awaitAnswerTaken();
    bool plugIn(QString* error);
    void pullOut(std::optional<Clock::time_point> returnAt);
    void waitWhileAway();
    void handleControlRequests();
    // Sleeps, waking early only to stop; false when stopping.
    bool sleepUntil(Clock::time_point deadline);
    void wake();
    void drainWake();
    void setPresent(bool present);

    InstrumentConfig config_;
    PtyInstrumentOptions options_;
    QString portsDir_;

    mutable std::mutex stateMutex_;
    Instrument instrument_;
    SimFaults faults_;
    int silentBase_ = 0;
    std::int64_t bytesBase_ = 0;
    bool unplugFired_ = false;
    int countedRequests_ = 0;
    int resetAnswersLost_ = 0;
    int framesReceived_ = 0;
    FaultDice dice_;

    mutable std::mutex linkMutex_;
    mutable std::condition_variable linkChanged_;
    bool present_ = false;
    int appearances_ = 0;
    QString slavePath_;

    // Serving thread only.
    PtyEndpoint endpoint_;
    FrameDecoder decoder_;
    WirePacer pacer_;
    std::optional<Clock::time_point> returnAt_;
    std::optional<InstrumentMode> returnMode_;

    std::atomic<std::int64_t> lineBytesReceived_{0};
    std::atomic<std::int64_t> lineBytesSent_{0};
    std::atomic<int> answersLost_{0};
    std::atomic<int> answersDamaged_{0};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> unplugRequested_{false};
    std::atomic<bool> replugRequested_{false};
    int wakeFd_ = -1;
    std::thread thread_;
    LinkListener listener_;
};

}  // namespace verimant::sim
