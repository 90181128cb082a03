#include "tests/device/simulated_device.h"

#include <gtest/gtest.h>

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

}  // namespace verimant::test
