#pragma once

#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "sim/pty_instrument.h"
#include "tests/support/scripted_dialogs.h"

#include <gtest/gtest.h>

#include <memory>

namespace verimant::test {

// The tool's protocol and command set on one side of a real pseudo-terminal, the simulated
// instrument on the other, and scripted dialogs to catch time-out boxes.
class DeviceCommandsSimTest : public ::testing::Test {
protected:
    void startInstrument(sim::InstrumentConfig config = {},
                         sim::PtyInstrumentOptions options = {}) {
        options.resetDelayMs = 100;
        instrument = std::make_unique<sim::PtyInstrument>(std::move(config), options);
        QString error;
        ASSERT_TRUE(instrument->start(&error)) << error.toStdString();
        protocol.setPortNumber(instrument->portNumber());
        ASSERT_TRUE(protocol.open(230400));
    }

    void TearDown() override {
        protocol.close();
        if (instrument) {
            instrument->stop();
        }
    }

    int requestsFor(int group, int code) {
        return instrument->withInstrument([&](sim::Instrument& device) {
            return device.requestCount(std::uint8_t(group), std::uint8_t(code));
        });
    }

    void silence() {
        sim::SimFaults faults;
        faults.silentAfter = 0;
        instrument->setFaults(faults);
    }

    ScriptedDialogs dialogs;
    DeviceProtocol protocol;
    DeviceCommands commands{protocol};
    std::unique_ptr<sim::PtyInstrument> instrument;
};

inline sim::InstrumentConfig instrumentWith(std::uint16_t boot, std::uint16_t main,
                                            int processorType = 3) {
    sim::InstrumentConfig config;
    config.bootVersion = boot;
    config.mainVersion = main;
    config.processorType = processorType;
    return config;
}

}  // namespace verimant::test
