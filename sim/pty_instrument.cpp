#include "sim/pty_instrument.h"

#include "sim/instrument_files.h"

#include <QDir>

#include <array>
#include <cerrno>
#include <utility>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace verimant::sim {

namespace {

constexpr auto kLineWriteTimeout = std::chrono::seconds(1);
constexpr auto kReplugRetry = std::chrono::milliseconds(100);
constexpr auto kHangupPause = std::chrono::milliseconds(20);
// A hang-up discards what the tool has not read yet, so a RESET answer waits for the tool this
// long at most before the instrument goes away. The tool's reader takes it within milliseconds;
// the margin is for a machine so loaded that the reader waits for a time slice (a quarter of a
// second was seen), which would otherwise turn a restart into a lost answer.
constexpr auto kAnswerPickupLimit = std::chrono::milliseconds(1000);
constexpr auto kAnswerPickupPoll = std::chrono::milliseconds(2);
// The pty moves written bytes to the reading side asynchronously, in kernel work that a loaded
// machine can hold back for tens of milliseconds; an empty queue counts only after this long.
constexpr auto kAnswerTransit = std::chrono::milliseconds(100);

// The echo request 01 00 that link tests send; the body holds the address fields first.
bool isLinkTest(const QByteArray& body) {
    return body.size() >= 6 && body[4] == '\x01' && body[5] == '\x00';
}

timespec toTimespec(std::chrono::nanoseconds duration) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    return {time_t(seconds.count()), long((duration - seconds).count())};
}

}  // namespace

PtyInstrument::PtyInstrument(InstrumentConfig config, PtyInstrumentOptions options)
    : config_(std::move(config)),
      options_(std::move(options)),
      instrument_(config_),
      faults_(options_.faults),
      dice_(options_.faultSeed),
      pacer_(options_.baudRate) {
    instrument_.setStuckByte(faults_.stuckByteAt);
    instrument_.setReadLimits(faults_.readAnswerLimit, faults_.readSilentAbove);
}

PtyInstrument::~PtyInstrument() {
    stop();
}

bool PtyInstrument::start(QString* error) {
    const auto fail = [error](const QString& reason) {
        if (error) {
            *error = reason;
        }
        return false;
    };
    if (thread_.joinable()) {
        return fail(QStringLiteral("already running"));
    }
    portsDir_ = options_.portsDir.isEmpty() ? qEnvironmentVariable("VERIMANT_PORTS_DIR")
                                            : options_.portsDir;
    if (portsDir_.isEmpty() || !QDir(portsDir_).exists()) {
        return fail(QStringLiteral("no ports folder (give one, or set VERIMANT_PORTS_DIR): ") +
                    portsDir_);
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        return fail(QStringLiteral("eventfd failed"));
    }
    stopping_ = false;
    if (!plugIn(error)) {
        ::close(wakeFd_);
        wakeFd_ = -1;
        return false;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void PtyInstrument::stop() {
    if (!thread_.joinable()) {
        return;
    }
    stopping_ = true;
    wake();
    thread_.join();
    ::close(wakeFd_);
    wakeFd_ = -1;
}

void PtyInstrument::run() {
    while (!stopping_) {
        handleControlRequests();
        if (!endpoint_.isOpen()) {
            waitWhileAway();
            continue;
        }
        std::array<pollfd, 2> fds{{{endpoint_.masterFd(), POLLIN, 0}, {wakeFd_, POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            continue;
        }
        if (fds[1].revents & POLLIN) {
            drainWake();
        }
        if (fds[0].revents & POLLIN) {
            serveLine();
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            // Our own slave descriptor normally prevents this; never spin on it.
            sleepUntil(Clock::now() + kHangupPause);
        }
    }
    if (endpoint_.isOpen()) {
        pullOut(std::nullopt);
    }
}

void PtyInstrument::handleControlRequests() {
    if (unplugRequested_.exchange(false) && endpoint_.isOpen()) {
        pullOut(std::nullopt);
    }
    if (replugRequested_.exchange(false) && !endpoint_.isOpen()) {
        returnAt_ = Clock::now();
    }
}

void PtyInstrument::waitWhileAway() {
    const Clock::time_point now = Clock::now();
    if (returnAt_ && now >= *returnAt_) {
        if (!plugIn(nullptr)) {
            returnAt_ = now + kReplugRetry;
        }
        return;
    }
    pollfd fd{wakeFd_, POLLIN, 0};
    if (returnAt_) {
        const timespec timeout = toTimespec(*returnAt_ - now);
        ::ppoll(&fd, 1, &timeout, nullptr);
    } else {
        ::ppoll(&fd, 1, nullptr, nullptr);
    }
    drainWake();
}

void PtyInstrument::serveLine() {
    std::array<std::uint8_t, 4096> buffer{};
    const ssize_t count = ::read(endpoint_.masterFd(), buffer.data(), buffer.size());
    if (count <= 0) {
        return;
    }
    lineBytesReceived_ += count;
    const Clock::time_point arrival = Clock::now();
    for (ssize_t i = 0; i < count; ++i) {
        if (options_.paced) {
            pacer_.received(arrival);
        }
        if (decoder_.feed(buffer[i])) {
            serveFrame(decoder_.frame());
            // A reset or an unplug ends this connection; the rest of the bytes are lost with it.
            if (!endpoint_.isOpen() || stopping_) {
                return;
            }
        }
    }
}

void PtyInstrument::serveFrame(const QByteArray& body) {
    std::optional<QByteArray> answer;
    std::optional<InstrumentMode> restart;
    bool pullCable = false;
    SimFaults faults;
    {
        std::lock_guard lock(stateMutex_);
        ++framesReceived_;
        faults = faults_;
        if (faults.silentAfter >= 0 &&
            instrument_.requestCount() - silentBase_ >= faults.silentAfter) {
            return;
        }
        if (isEraseRequestAt(body, faults.silentEraseAt)) {
            return;
        }
        const std::int64_t writtenBefore = instrument_.flashBytesWritten();
        answer = instrument_.handleFrame(body);
        restart = instrument_.takePendingRestart();
        if (restart && resetAnswersLost_ < faults.lostResetAnswers) {
            ++resetAnswersLost_;
            answer.reset();
        }
        const std::int64_t written = instrument_.flashBytesWritten();
        if (faults.unplugAfterBytes >= 0 && !unplugFired_ && written > writtenBefore &&
            written - bytesBase_ >= faults.unplugAfterBytes) {
            unplugFired_ = true;
            pullCable = true;
        }
        if (faults.cutAfterRequest >= 0 && !unplugFired_ && !isLinkTest(body) &&
            ++countedRequests_ >= faults.cutAfterRequest) {
            unplugFired_ = true;
            pullCable = true;
        }
    }
    if (pullCable) {
        // A RESET carried out just before the cut still restarts the instrument.
        if (restart) {
            returnMode_ = restart;
        }
        pullOut(faults.unplugReturnMs >= 0
                    ? std::optional(Clock::now() + std::chrono::milliseconds(faults.unplugReturnMs))
                    : std::nullopt);
        return;
    }
    if (answer) {
        sendAnswer(*answer, faults);
    }
    if (restart) {
        if (answer) {
            awaitAnswerTaken();
        }
        returnMode_ = restart;
        pullOut(Clock::now() + std::chrono::milliseconds(options_.resetDelayMs));
    }
}

void PtyInstrument::sendAnswer(const QByteArray& body, const SimFaults& faults) {
    if (dice_.roll(faults.dropShare)) {
        ++answersLost_;
        return;
    }
    std::optional<QByteArray> frame = encodeFrame(body);
    if (!frame) {
        return;
    }
    if (dice_.roll(faults.corruptShare)) {
        frame = corruptEncodedFrame(*frame, dice_);
        ++answersDamaged_;
    }
    Clock::time_point leave = Clock::now() + std::chrono::milliseconds(std::max(faults.lateMs, 0));
    if (options_.paced) {
        leave = pacer_.answerDone(leave, frame->size());
    }
    if (sleepUntil(leave)) {
        writeToLine(*frame);
    }
}

bool PtyInstrument::writeToLine(const QByteArray& bytes) {
    const Clock::time_point giveUp = Clock::now() + kLineWriteTimeout;
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        const ssize_t written = ::write(endpoint_.masterFd(), bytes.constData() + offset,
                                        size_t(bytes.size() - offset));
        if (written > 0) {
            offset += written;
            lineBytesSent_ += written;
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        // Nobody reads the line and its buffer is full: a real line would lose the bytes too.
        if (stopping_ || Clock::now() > giveUp) {
            return false;
        }
        pollfd fd{endpoint_.masterFd(), POLLOUT, 0};
        ::poll(&fd, 1, 20);
    }
    return true;
}

void PtyInstrument::awaitAnswerTaken() {
    const Clock::time_point start = Clock::now();
    while (Clock::now() - start < kAnswerPickupLimit) {
        if (!sleepUntil(Clock::now() + kAnswerPickupPoll)) {
            return;
        }
        if (Clock::now() - start >= kAnswerTransit && endpoint_.unreadByTool() <= 0) {
            return;
        }
    }
}

bool PtyInstrument::plugIn(QString* error) {
    if (returnMode_) {
        std::lock_guard lock(stateMutex_);
        instrument_.restart(*returnMode_);
        returnMode_.reset();
        if (!faults_.serialAfterRestart.isEmpty()) {
            instrument_.assumeIdentity(faults_.serialAfterRestart);
            faults_.serialAfterRestart.clear();
        }
        if (std::exchange(faults_.uidAfterRestart, false)) {
            instrument_.assumeOtherUid();
        }
    }
    if (!endpoint_.open(portsDir_, options_.portNumber, error)) {
        return false;
    }
    decoder_ = FrameDecoder{};
    pacer_.reset();
    returnAt_.reset();
    InstrumentMode mode;
    {
        std::lock_guard lock(stateMutex_);
        mode = instrument_.mode();
    }
    setPresent(true);
    if (listener_) {
        listener_(true, endpoint_.slavePath(), mode);
    }
    return true;
}

void PtyInstrument::pullOut(std::optional<Clock::time_point> returnAt) {
    const QString slave = endpoint_.slavePath();
    endpoint_.close();
    returnAt_ = returnAt;
    InstrumentMode mode = returnMode_.value_or(InstrumentMode::MainFirmware);
    if (!returnMode_) {
        std::lock_guard lock(stateMutex_);
        mode = instrument_.mode();
    }
    setPresent(false);
    if (listener_) {
        listener_(false, slave, mode);
    }
}

bool PtyInstrument::sleepUntil(Clock::time_point deadline) {
    for (;;) {
        if (stopping_) {
            return false;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            return true;
        }
        pollfd fd{wakeFd_, POLLIN, 0};
        const timespec timeout = toTimespec(deadline - now);
        if (::ppoll(&fd, 1, &timeout, nullptr) > 0) {
            drainWake();
        }
    }
}

void PtyInstrument::wake() {
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
    }
}

void PtyInstrument::drainWake() {
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t ignored = ::read(wakeFd_, &value, sizeof value);
}

void PtyInstrument::setPresent(bool present) {
    {
        std::lock_guard lock(linkMutex_);
        present_ = present;
        if (present) {
            ++appearances_;
            slavePath_ = endpoint_.slavePath();
        }
    }
    linkChanged_.notify_all();
}

QString PtyInstrument::slavePath() const {
    std::lock_guard lock(linkMutex_);
    return present_ ? slavePath_ : QString();
}

bool PtyInstrument::isPresent() const {
    std::lock_guard lock(linkMutex_);
    return present_;
}

int PtyInstrument::appearanceCount() const {
    std::lock_guard lock(linkMutex_);
    return appearances_;
}

bool PtyInstrument::waitUntilPresent(int timeoutMs) const {
    std::unique_lock lock(linkMutex_);
    return linkChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [this] { return present_; });
}

bool PtyInstrument::waitUntilAbsent(int timeoutMs) const {
    std::unique_lock lock(linkMutex_);
    return linkChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [this] { return !present_; });
}

bool PtyInstrument::waitForAppearance(int count, int timeoutMs) const {
    std::unique_lock lock(linkMutex_);
    return linkChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [this, count] { return present_ && appearances_ >= count; });
}

void PtyInstrument::unplug() {
    unplugRequested_ = true;
    wake();
}

void PtyInstrument::replug() {
    replugRequested_ = true;
    wake();
}

void PtyInstrument::setFaults(const SimFaults& faults) {
    {
        std::lock_guard lock(stateMutex_);
        faults_ = faults;
        silentBase_ = instrument_.requestCount();
        bytesBase_ = instrument_.flashBytesWritten();
        unplugFired_ = false;
        countedRequests_ = 0;
        resetAnswersLost_ = 0;
        instrument_.setStuckByte(faults.stuckByteAt);
        instrument_.setReadLimits(faults.readAnswerLimit, faults.readSilentAbove);
    }
    wake();
}

SimFaults PtyInstrument::faults() const {
    std::lock_guard lock(stateMutex_);
    return faults_;
}

int PtyInstrument::framesReceived() const {
    std::lock_guard lock(stateMutex_);
    return framesReceived_;
}

Instrument PtyInstrument::snapshot() const {
    std::lock_guard lock(stateMutex_);
    return instrument_;
}

bool PtyInstrument::saveFiles(const QString& dir, QString* error) const {
    std::lock_guard lock(stateMutex_);
    return saveInstrumentFiles(instrument_, dir, error);
}

}  // namespace verimant::sim
