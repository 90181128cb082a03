#include "tests/device/simulated_device.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace verimant::test {

SimulatedDevice::SimulatedDevice(sim::InstrumentConfig config, sim::PtyInstrumentOptions options)
    : instrument_(std::move(config), options) {}

SimulatedDevice::~SimulatedDevice() {
    protocol.close();
    instrument_.stop();
}

sim::PtyInstrumentOptions SimulatedDevice::quickOptions() {
    sim::PtyInstrumentOptions options;
    options.portNumber = 7;
    options.resetDelayMs = 300;
    return options;
}

bool SimulatedDevice::startInstrument() {
    QString error;
    if (!instrument_.start(&error)) {
        ADD_FAILURE() << "simulator: " << error.toStdString();
        return false;
    }
    return true;
}

bool SimulatedDevice::start() {
    if (!startInstrument()) {
        return false;
    }
    protocol.setPortNumber(instrument_.portNumber());
    if (!protocol.open(kBaudRate)) {
        ADD_FAILURE() << "cannot open COM" << instrument_.portNumber();
        return false;
    }
    flags.deviceConnected = true;
    return true;
}

void SimulatedDevice::silence(int after) {
    sim::SimFaults faults;
    faults.silentAfter = after;
    instrument_.setFaults(faults);
}

bool SimulatedDevice::replugAndReopen() {
    instrument_.setFaults({});
    instrument_.replug();
    if (!instrument_.waitForAppearance(2, 5000)) {
        return false;
    }
    protocol.close();
    return protocol.open(kBaudRate);
}

int SimulatedDevice::requests(std::uint8_t group, std::uint8_t command) {
    return instrument_.withInstrument(
        [&](sim::Instrument& device) { return device.requestCount(group, command); });
}

QByteArray SimulatedDevice::externalFlash(std::uint32_t address, int count) {
    return instrument_.withInstrument(
        [&](sim::Instrument& device) { return device.externalFlash().read(address, count); });
}

std::vector<sim::FlashOperation> SimulatedDevice::flashOperations() {
    return withInstrument([](sim::Instrument& device) { return device.flashOperations(); });
}

QStringList SimulatedDevice::screenTexts() {
    return withInstrument([](sim::Instrument& device) { return device.screenTexts(); });
}

LinkCheckProbe::LinkCheckProbe(SimulatedDevice& device) {
    QObject::connect(&timer_, &QTimer::timeout, [this, &device] {
        const std::size_t operations = device.flashOperations().size();
        if (operations > 0) {
            samples_.push_back({operations, device.flags.linkCheckEnabled});
        }
    });
    timer_.start(2);
}

int LinkCheckProbe::samplesBefore(std::size_t finalOperations, bool onlyEnabled) const {
    return int(std::count_if(samples_.begin(), samples_.end(), [&](const Sample& s) {
        return s.operations < finalOperations && (s.linkCheckEnabled || !onlyEnabled);
    }));
}

QString writeTestFile(const QString& name, const QByteArray& bytes) {
    const QString path = QDir::temp().filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    EXPECT_EQ(file.write(bytes), bytes.size());
    return path;
}

QByteArray patternBytes(qsizetype size, unsigned seed) {
    std::mt19937 engine(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) {
        byte = char(engine() & 0xFF);
    }
    return bytes;
}

}  // namespace verimant::test
