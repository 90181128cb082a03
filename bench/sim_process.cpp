#include "bench/sim_process.h"

#include "bench/workload.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <thread>

namespace verimant::bench {

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 10000;
// A restarted instrument is back at once in the smoke run; the tool's own pauses still apply.
constexpr int kSmokeResetDelayMs = 100;

bool fail(QString* error, const QString& reason) {
    if (error) {
        *error = reason;
    }
    return false;
}

// "name: value" lines.
std::optional<LineCounts> parseCounts(const QByteArray& text) {
    LineCounts counts;
    int found = 0;
    for (const QByteArray& line : text.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon < 0) {
            continue;
        }
        const QByteArray name = line.left(colon).trimmed();
        bool ok = false;
        const qint64 value = line.mid(colon + 1).trimmed().toLongLong(&ok);
        if (!ok) {
            return std::nullopt;
        }
        if (name == "bytes_received") {
            counts.bytesReceived = value;
            ++found;
        } else if (name == "bytes_sent") {
            counts.bytesSent = value;
            ++found;
        } else if (name == "frames_received") {
            counts.framesReceived = value;
            ++found;
        }
    }
    return found == 3 ? std::optional(counts) : std::nullopt;
}

}  // namespace

double wireSeconds(const LineCounts& counts, int baudRate) {
    return double(counts.totalBytes()) * 10.0 / double(baudRate);
}

SimProcess::SimProcess(QString portsDir, int portNumber, bool paced)
    : portsDir_(std::move(portsDir)), portNumber_(portNumber), paced_(paced) {}

SimProcess::~SimProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(kStopTimeoutMs);
    }
}

QString SimProcess::linkPath() const {
    return portsDir_ + QStringLiteral("/COM") + QString::number(portNumber_);
}

QString SimProcess::statsPath() const {
    return portsDir_ + QStringLiteral("/sim-stats-") + QString::number(portNumber_) +
           QStringLiteral(".txt");
}

bool SimProcess::start(QString* error) {
    const QString program =
        QCoreApplication::applicationDirPath() + QStringLiteral("/verimant-sim");
    if (!QFileInfo(program).isExecutable()) {
        return fail(error, QStringLiteral("no simulator program at ") + program);
    }
    QFile::remove(statsPath());
    QStringList arguments{QStringLiteral("--port"),       QString::number(portNumber_),
                          QStringLiteral("--ports-dir"),  portsDir_,
                          QStringLiteral("--stats-file"), statsPath()};
    if (paced_ && !smokeRun()) {
        arguments << QStringLiteral("--paced");
    }
    if (smokeRun()) {
        arguments << QStringLiteral("--reset-delay-ms") << QString::number(kSmokeResetDelayMs);
    }
    // Its announcements would mix with the figures on standard output; its errors may show.
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, arguments);
    if (!process_.waitForStarted(kStartTimeoutMs)) {
        return fail(error,
                    QStringLiteral("the simulator did not start: ") + process_.errorString());
    }
    const auto giveUp =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (!QFileInfo(linkPath()).isSymLink()) {
        if (std::chrono::steady_clock::now() > giveUp || process_.state() == QProcess::NotRunning) {
            return fail(error, QStringLiteral("the simulator made no link ") + linkPath());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::optional<LineCounts> SimProcess::stop(QString* error) {
    process_.terminate();
    if (!process_.waitForFinished(kStopTimeoutMs) || process_.exitCode() != 0) {
        fail(error, QStringLiteral("the simulator did not end cleanly"));
        return std::nullopt;
    }
    QFile file(statsPath());
    if (!file.open(QIODevice::ReadOnly)) {
        fail(error, QStringLiteral("the simulator wrote no counts to ") + statsPath());
        return std::nullopt;
    }
    const auto counts = parseCounts(file.readAll());
    if (!counts) {
        fail(error, QStringLiteral("unreadable counts in ") + statsPath());
    }
    return counts;
}

std::vector<std::unique_ptr<SimProcess>> startPacedInstruments(const QString& portsDir,
                                                               int firstPort, int count,
                                                               QString* error) {
    std::vector<std::unique_ptr<SimProcess>> sims;
    for (int i = 0; i < count; ++i) {
        sims.push_back(std::make_unique<SimProcess>(portsDir, firstPort + i, true));
        if (!sims.back()->start(error)) {
            return {};
        }
    }
    return sims;
}

}  // namespace verimant::bench
