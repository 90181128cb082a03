#pragma once

#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "sim/instrument.h"
#include "tests/link/pty_peer.h"
#include "tests/support/scripted_dialogs.h"

#include <gtest/gtest.h>

#include <mutex>

namespace verimant::test {

// The tool's protocol and command set on one side of a real pseudo-terminal; on the other, the
// simulated instrument's logic answers through a peer that keeps every request, so both the bytes
// the commands put on the wire and what they make of the answers can be checked. Scripted dialogs
// catch the time-out boxes.
class DeviceCommandsTest : public ::testing::Test {
    // Declared first, so the peer's thread, which answers from them, is gone before they are.
    std::mutex deviceLock_;
    sim::Instrument device_{[] {
        sim::InstrumentConfig config;
        config.processorFlashInMainFirmware = true;
        return config;
    }()};
    int answersLeft_ = -1;  // below 0: every request

protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ready());
        peer.setResponder([this](const QByteArray& request) {
            std::lock_guard guard(deviceLock_);
            if (answersLeft_ == 0) {
                return QByteArray();
            }
            --answersLeft_;
            const std::optional<QByteArray> answer = device_.handleFrame(request);
            return answer ? PtyPeer::wire(*answer) : QByteArray();
        });
        protocol.setPortNumber(peer.portNumber());
        ASSERT_TRUE(protocol.open(230400));
    }

    void TearDown() override { protocol.close(); }

    // A fresh instrument from here on; the command set keeps what it has cached.
    void use(sim::InstrumentConfig config) {
        // The tests' main firmware takes the CPU flash commands, with the pair its versions call
        // for, so that both variants can be driven.
        config.processorFlashInMainFirmware = true;
        std::lock_guard guard(deviceLock_);
        device_ = sim::Instrument(config);
    }
    // Only the next `count` requests are answered; after them the instrument is silent.
    void answerOnly(int count) {
        std::lock_guard guard(deviceLock_);
        answersLeft_ = count;
    }
    // Works on the instrument between the tool's requests.
    template <typename F>
    decltype(auto) withDevice(F&& f) {
        std::lock_guard guard(deviceLock_);
        return f(device_);
    }
    sim::Instrument snapshot() {
        return withDevice([](sim::Instrument& device) { return device; });
    }
    int requestsFor(int group, int code) {
        return snapshot().requestCount(std::uint8_t(group), std::uint8_t(code));
    }

    // Request payloads (without address fields) from request number `from` on, and the source
    // node each was sent from.
    QList<QByteArray> payloadsFrom(int from, QList<int>* nodes = nullptr) const {
        QList<QByteArray> payloads;
        const QList<QByteArray> requests = peer.requests();
        for (int k = from; k < requests.size(); ++k) {
            payloads.append(requests[k].mid(4));
            if (nodes != nullptr) {
                nodes->append(std::uint8_t(requests[k][3]) & 0x1F);
            }
        }
        return payloads;
    }

    ScriptedDialogs dialogs;
    PtyPeer peer;
    DeviceProtocol protocol;
    DeviceCommands commands{protocol};
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
