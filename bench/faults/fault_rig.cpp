#include "bench/faults/fault_rig.h"

#include "sim/instrument_files.h"

#include <QDir>
#include <QFile>

namespace verimant::faults {

namespace {

// A restart or a plugged-back instrument is found within a few ticks of the connection timer;
// this only ends a wait that something else has broken.
constexpr int kFindTimeoutMs = 20000;

sim::PtyInstrumentOptions instrumentOptions(const RigOptions& options) {
    sim::PtyInstrumentOptions result;
    result.portNumber = options.portNumber;
    result.resetDelayMs = options.resetDelayMs;
    result.faults = options.faults;
    result.faultSeed = options.faultSeed;
    return result;
}

bool fail(QString* error, const QString& reason) {
    if (error) {
        *error = reason;
    }
    return false;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

FaultRig::FaultRig(const WriteSet& set, const RigOptions& options)
    : set_(set), options_(options), instrument_(set.instrument, instrumentOptions(options)) {
    installUserDialogs(&dialogs_);
    manager_.attachTimer(connectionTimer_);
}

FaultRig::~FaultRig() {
    connectionTimer_.stop();
    protocol_.close();
    instrument_.stop();
    installUserDialogs(nullptr);
}

bool FaultRig::start(QString* error) {
    if (!instrument_.start(error)) {
        return false;
    }
    manager_.chooseManualPort(options_.portNumber);
    manager_.tick();
    if (!flags_.deviceConnected) {
        return fail(error, QStringLiteral("no answer on COM%1").arg(options_.portNumber));
    }
    connectionTimer_.start();
    return true;
}

WriteOutcome FaultRig::runWriteSequence() {
    log_.clear();
    dialogs_.boxes.clear();
    return runUpgradeWriteSequence(session_, set_.recordFile, set_.dataFile);
}

bool FaultRig::plugBackIn(QString* error) {
    instrument_.setFaults({});
    if (!instrument_.isPresent()) {
        instrument_.replug();
        if (!instrument_.waitUntilPresent(kFindTimeoutMs)) {
            return fail(error, QStringLiteral("the instrument did not come back"));
        }
    }
    // The tool may not have noticed the hang-up yet; it finds the port anew either way.
    flags_.deviceConnected = false;
    const int framesBefore = instrument_.framesReceived();
    if (!manager_.waitForDevice(kFindTimeoutMs)) {
        // What the connection manager last said tells a port that would not open from an
        // instrument that did not answer.
        return fail(
            error,
            QStringLiteral("the tool did not find the plugged-back instrument "
                           "(manager mode %1, port %2 %3, %4 frames reached the "
                           "instrument, which is %5; last log lines: %6)")
                .arg(manager_.connectionMode())
                .arg(options_.portNumber)
                .arg(protocol_.isOpen() ? QStringLiteral("open") : QStringLiteral("closed"))
                .arg(instrument_.framesReceived() - framesBefore)
                .arg(instrument_.isPresent() ? QStringLiteral("present") : QStringLiteral("away"))
                .arg(log_.lines().mid(log_.lines().size() - 3).join(" | ")));
    }
    return true;
}

QString FaultRig::savedFlashDifference(const ExpectedFlashes& expected, const QString& saveDir) {
    QString error;
    QDir(saveDir).removeRecursively();
    if (!instrument_.saveFiles(saveDir, &error)) {
        return QStringLiteral("the flashes could not be saved: ") + error;
    }
    const QDir dir(saveDir);
    return flashDifference(expected, fileBytes(dir.filePath(sim::kProcessorFlashFile)),
                           fileBytes(dir.filePath(sim::kExternalFlashFile)));
}

int FaultRig::writeRequests() {
    return instrument_.withInstrument([](sim::Instrument& device) {
        return device.requestCount() - device.requestCount(0x01, 0x00);
    });
}

QString FaultRig::failureText() const {
    QString line;
    for (const QString& candidate : log_.lines()) {
        if (candidate.contains(QLatin1String("ERC[")) ||
            candidate.contains(QLatin1String("ERROR"))) {
            line = candidate;
        }
    }
    const QString box = dialogs_.boxes.isEmpty() ? QString() : dialogs_.boxes.last();
    QStringList parts;
    for (const QString& part : {line, box}) {
        if (!part.isEmpty()) {
            parts << QStringLiteral("\"") +
                         QString(part).replace(QLatin1Char('\n'), QLatin1Char(' ')) +
                         QStringLiteral("\"");
        }
    }
    return parts.isEmpty() ? QStringLiteral("no error line") : parts.join(QStringLiteral(", "));
}

}  // namespace verimant::faults
