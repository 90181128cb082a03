// A resent request can be answered twice; the second answer may arrive once the next request of
// the same command is already waiting. It must not be taken for that request's answer.

#include "sim/pty_instrument.h"
#include "tests/link/device_commands_fixture.h"

#include <array>
#include <atomic>
#include <map>

namespace verimant {
namespace {

using test::DeviceCommandsTest;
using test::PtyPeer;

class LateDuplicateTest : public DeviceCommandsTest {
protected:
    // From now on the instrument answers every request; when `duplicateNext` is set, the answer
    // to the next request comes after a repeat of the last answer to the same command.
    void SetUp() override {
        DeviceCommandsTest::SetUp();
        peer.setResponder([this](const QByteArray& request) {
            const QByteArray command = request.mid(4, 2);
            const std::optional<QByteArray> answer =
                withDevice([&](sim::Instrument& device) { return device.handleFrame(request); });
            QByteArray wire = duplicateNext.exchange(false) ? lastAnswers[command] : QByteArray();
            if (answer) {
                lastAnswers[command] = PtyPeer::wire(*answer);
                wire += lastAnswers[command];
            }
            return wire;
        });
    }

    std::atomic<bool> duplicateNext{false};
    std::map<QByteArray, QByteArray> lastAnswers;  // peer thread only
};

TEST_F(LateDuplicateTest, AnswersEchoingAnotherAddressOrParameterArePassedOver) {
    sim::InstrumentConfig config;
    config.parameters[7] = 0;
    use(config);
    const std::array<std::uint8_t, 4> data{1, 2, 3, 4};
    std::array<std::uint8_t, 16> piece{};

    ASSERT_TRUE(commands.writeEflash(0x1000, data.data(), 4, true));
    duplicateNext = true;
    EXPECT_TRUE(commands.writeEflash(0x1004, data.data(), 4, true)) << "write";

    ASSERT_EQ(commands.readEflash(0x1000, piece.data(), 4, true), 4);
    duplicateNext = true;
    EXPECT_EQ(commands.readEflash(0x1004, piece.data(), 4, true), 4) << "external-flash read";
    EXPECT_EQ(piece[0], 1);

    ParameterRecord language{6, 2, {}};
    ASSERT_TRUE(commands.writeParameter(language));
    ParameterRecord other{7, 5, {}};
    duplicateNext = true;
    ASSERT_TRUE(commands.writeParameter(other));
    EXPECT_EQ(other.value, 5u) << "the value the instrument holds for id 7, not id 6's";

    // The instrument refuses to erase outside its flash and sends nothing of its own; the earlier
    // erase's repeat must not make the refused erase look done.
    ASSERT_TRUE(commands.eraseEflashSector4K(0x2000, true));
    duplicateNext = true;
    EXPECT_FALSE(commands.eraseEflashSector4K(0x01000000, false));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

// The same through the simulator: every answer leaves 800 ms late, so the first request is sent
// twice and answered twice, the repeat arriving while the second read waits.
TEST(LateAnswers, SecondReadIsNotAnsweredByTheFirstReadsRepeat) {
    test::ScriptedDialogs dialogs;
    sim::PtyInstrumentOptions options;
    options.faults.lateMs = 800;
    sim::PtyInstrument instrument(sim::InstrumentConfig{}, options);
    ASSERT_TRUE(instrument.start());
    DeviceProtocol protocol;
    DeviceCommands commands(protocol);
    protocol.setPortNumber(instrument.portNumber());
    ASSERT_TRUE(protocol.open(230400));

    std::array<std::uint8_t, 16> first{};
    std::array<std::uint8_t, 16> second{};
    ASSERT_EQ(commands.readEflash(0x7FE000, first.data(), 16, true), 16);
    EXPECT_EQ(commands.readEflash(0x7FE010, second.data(), 16, true), 16);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    const QByteArray flash = instrument.withInstrument(
        [](sim::Instrument& device) { return device.externalFlash().read(0x7FE010, 16); });
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(second.data()), 16), flash);
    protocol.close();
}

}  // namespace
}  // namespace verimant
