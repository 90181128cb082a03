#include "bench/faults/fault_rig.h"

#include "bench/faults/start_up_files.h"
#include "device/device_info.h"
#include "device/device_text_forms.h"
#include "sim/instrument_files.h"
#include "update/server_settings.h"

#include <QDir>
#include <QFile>

namespace verimant::faults {

namespace {

// A restart or a plugged-back instrument is found within a few ticks of the connection timer;
// this only ends a wait that something else has broken.
constexpr int kFindTimeoutMs = 20000;

sim::PtyInstrumentOptions instrumentOptions(int portNumber, const RigOptions& options) {
    sim::PtyInstrumentOptions result;
    result.portNumber = portNumber;
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

FaultRig::FaultRig(const FaultSetup& setup, const RigOptions& options)
    : setup_(setup),
      instrument_(setup.set.instrument, instrumentOptions(setup.portNumber, options)),
      toolFolder_(setup.workDir + QStringLiteral("/tool-XXXXXX")) {
    installUserDialogs(&answers_);
    manager_.attachTimer(connectionTimer_);
    if (setup.server) {
        run_ = std::make_unique<UpdateRun>(log_, *parseServerAddress(setup.server->url()));
    }
}

FaultRig::~FaultRig() {
    connectionTimer_.stop();
    protocol_.close();
    instrument_.stop();
    installUserDialogs(nullptr);
}

bool FaultRig::start(QString* error) {
    if (!run_ || !toolFolder_.isValid()) {
        return fail(error, QStringLiteral("no update server or no folder for the tool"));
    }
    if (!fetchStartUpFiles(*run_, toolFolder_.path(), error) || !instrument_.start(error)) {
        return false;
    }
    manager_.chooseManualPort(setup_.portNumber);
    manager_.tick();
    if (!flags_.deviceConnected) {
        return fail(error, QStringLiteral("no answer on COM%1").arg(setup_.portNumber));
    }
    connectionTimer_.start();
    return true;
}

RunOutcome FaultRig::runUpgrade() {
    log_.clear();
    answers_.clear();
    UpgradeParts parts{session_, settings_, *run_, answers_, answers_, answers_, {}};
    const UpgradeOutcome upgrade = runUpgradeWorkflow(parts);
    return {upgrade, answers_.errors};
}

bool FaultRig::plugBackIn(QString* error) {
    // The cut closes the line a moment before the instrument counts as away. On a loaded machine
    // the tool can see the hang-up, give up and get here in between; a replug asked for then finds
    // the instrument still present and does nothing, and the cut takes it away for good.
    if (!instrument_.waitUntilAbsent(kFindTimeoutMs)) {
        return fail(error, QStringLiteral("the cut did not take the instrument away"));
    }
    instrument_.setFaults({});
    instrument_.replug();
    if (!instrument_.waitUntilPresent(kFindTimeoutMs)) {
        return fail(error, QStringLiteral("the instrument did not come back"));
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
                .arg(setup_.portNumber)
                .arg(protocol_.isOpen() ? QStringLiteral("open") : QStringLiteral("closed"))
                .arg(instrument_.framesReceived() - framesBefore)
                .arg(instrument_.isPresent() ? QStringLiteral("present") : QStringLiteral("away"))
                .arg(log_.lines().mid(log_.lines().size() - 3).join(" | ")));
    }
    return true;
}

QString FaultRig::instrumentDifference(const ExpectedFlashes& expected, const QString& saveDir) {
    QString error;
    QDir(saveDir).removeRecursively();
    if (!instrument_.saveFiles(saveDir, &error)) {
        return QStringLiteral("the flashes could not be saved: ") + error;
    }
    const QDir dir(saveDir);
    QStringList differences;
    const QString flashes =
        flashDifference(expected, fileBytes(dir.filePath(sim::kProcessorFlashFile)),
                        fileBytes(dir.filePath(sim::kExternalFlashFile)));
    if (!flashes.isEmpty()) {
        differences << flashes;
    }
    const std::optional<std::int32_t> language = instrument_.withInstrument(
        [](sim::Instrument& device) { return device.parameter(sim::kLanguageParameterId); });
    if (language != kChosenLanguageCode) {
        differences << QStringLiteral("display language %1, not %2")
                           .arg(language ? QString::number(*language) : QStringLiteral("unknown"))
                           .arg(kChosenLanguageCode);
    }
    return differences.join(QStringLiteral("; "));
}

QString FaultRig::readoutClaims() {
    DeviceInfo info;
    if (!DeviceInformation_Get(session_, info, noModelNames())) {
        return {};  // a readout that fails claims nothing
    }
    QByteArray processor;
    QByteArray external;
    instrument_.withInstrument([&](sim::Instrument& device) {
        processor = device.processorFlash().bytes();
        external = device.externalFlash().bytes();
    });
    QStringList claims;
    if (info.programInfo.mainVersion == kFirmwareVersionCode &&
        !firmwareWhole(setup_.expected, setup_.set, processor)) {
        claims << QStringLiteral("KMT2 ") + versionText(info.programInfo.mainVersion) +
                      QStringLiteral(" over a firmware that is not whole");
    }
    if (info.eflVersionRead && info.eflVersion == kDataVersionCode &&
        !dataImageWhole(setup_.expected, setup_.set, external)) {
        claims << QStringLiteral("EFL ") + versionText(info.eflVersion) +
                      QStringLiteral(" over a data image that is not whole");
    }
    return claims.join(QStringLiteral("; "));
}

int FaultRig::writeRequests() {
    return instrument_.withInstrument([](sim::Instrument& device) {
        return device.requestCount() - device.requestCount(0x01, 0x00);
    });
}

QString FaultRig::failureText() const {
    QString step;
    QString line;
    for (const QString& candidate : log_.lines()) {
        if (candidate.startsWith(QLatin1String("==>"))) {
            step = candidate;
        } else if (candidate.contains(QLatin1String("ERC[")) ||
                   candidate.contains(QLatin1String("ERROR"))) {
            line = candidate;
        }
    }
    const QStringList& boxes = answers_.errors.isEmpty() ? answers_.notes : answers_.errors;
    const QString box = boxes.isEmpty() ? QString() : boxes.last();
    QStringList parts;
    for (const QString& part : {step, line, box}) {
        if (!part.isEmpty()) {
            parts << QStringLiteral("\"") +
                         QString(part).replace(QLatin1Char('\n'), QLatin1Char(' ')) +
                         QStringLiteral("\"");
        }
    }
    return parts.isEmpty() ? QStringLiteral("no error line") : parts.join(QStringLiteral(", "));
}

}  // namespace verimant::faults
