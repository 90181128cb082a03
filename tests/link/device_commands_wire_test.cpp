#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "sim/instrument.h"
#include "tests/link/pty_peer.h"
#include "tests/support/scripted_dialogs.h"

#include <gtest/gtest.h>

#include <array>
#include <mutex>

namespace verimant {
namespace {

using test::PtyPeer;

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// The simulated instrument's logic answering on a pty peer that keeps every request body, so the
// exact bytes the commands put on the wire can be compared.
class DeviceCommandsWireTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ready());
        peer.setResponder([this](const QByteArray& request) {
            std::lock_guard guard(deviceLock);
            const std::optional<QByteArray> answer = device.handleFrame(request);
            return answer ? PtyPeer::wire(*answer) : QByteArray();
        });
        protocol.setPortNumber(peer.portNumber());
        ASSERT_TRUE(protocol.open(230400));
    }

    void TearDown() override { protocol.close(); }

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

    static sim::InstrumentConfig testedConfig() {
        sim::InstrumentConfig config;
        config.processorFlashInMainFirmware = true;
        return config;
    }

    test::ScriptedDialogs dialogs;
    std::mutex deviceLock;
    sim::Instrument device{testedConfig()};
    PtyPeer peer;
    DeviceProtocol protocol;
    DeviceCommands commands{protocol};
};

TEST_F(DeviceCommandsWireTest, GeneralCommandRequests) {
    ASSERT_TRUE(commands.readProgramInfo(nullptr, true));
    ParameterRecord language;
    language.id = 6;
    ASSERT_TRUE(commands.readParameter(language, true));
    language.value = 0x01020304;
    device.setParameter(6, 0);
    ASSERT_TRUE(commands.writeParameter(language));
    EXPECT_EQ(language.value, 0x01020304u);
    ASSERT_TRUE(commands.readBoardInfo(nullptr, true));
    ASSERT_TRUE(commands.resetDevice(DeviceCommands::kResetToBootLoader, true));

    QList<int> nodes;
    const QList<QByteArray> sent = payloadsFrom(0, &nodes);
    const std::uint32_t platform = device.layout().platformDescriptionAddress;
    const auto piece = [](std::uint32_t address) {
        QByteArray payload = hex("0102");
        appendLe32(payload, address);
        return payload + hex("10");
    };
    const QList<QByteArray> expected = {
        hex("0101"),
        hex("010E0600"),
        hex("010F060004030201"),
        // Board information needs the platform description first.
        piece(platform),
        piece(platform + 16),
        piece(platform + 32),
        hex("010A"),
        hex("0105030000000A"),
    };
    ASSERT_EQ(sent.size(), expected.size());
    for (int k = 0; k < sent.size(); ++k) {
        EXPECT_EQ(sent[k].toHex(), expected[k].toHex()) << k;
        EXPECT_EQ(nodes[k], 1) << k;
    }
}

TEST_F(DeviceCommandsWireTest, MemoryPiecesAscendInSixteens) {
    const std::uint32_t address = device.layout().mainFirmwareStart;
    std::array<std::uint8_t, 48> buffer{};
    ASSERT_EQ(commands.readMemory(address, buffer.data(), 48, true), 48);
    const QList<QByteArray> sent = payloadsFrom(0);
    ASSERT_EQ(sent.size(), 3);
    for (int k = 0; k < 3; ++k) {
        QByteArray expected = hex("0102");
        appendLe32(expected, address + 16 * k);
        expected.append(char(16));
        EXPECT_EQ(sent[k].toHex(), expected.toHex()) << k;
    }
}

TEST_F(DeviceCommandsWireTest, FlashRequestsGoOutOnTheirOwnChannels) {
    const std::uint8_t data[3] = {0xC0, 0xDB, 0x00};
    ASSERT_TRUE(commands.eraseEflashSector4K(0x00123000, true));
    ASSERT_TRUE(commands.writeEflash(0x00123000, data, 3, true));
    std::array<std::uint8_t, 16> piece{};
    ASSERT_EQ(commands.readEflash(0x00123000, piece.data(), 3, true), 3);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(piece.data()), 3), hex("C0DB00"));
    // With a main firmware over boot loader 4.16 cached, the CPU flash takes the new pair.
    ASSERT_TRUE(commands.readProgramInfo(nullptr, true));
    ASSERT_TRUE(commands.usesNewCpuFlashVariant());
    const std::uint32_t start = device.layout().mainFirmwareStart;
    ASSERT_EQ(start, 0x08004000u);
    EXPECT_TRUE(commands.eraseCpuFlashSector(start, true));
    EXPECT_TRUE(commands.writeCpuFlash(start, data, 3, true));

    QList<int> nodes;
    const QList<QByteArray> sent = payloadsFrom(0, &nodes);
    ASSERT_EQ(sent.size(), 3 + 1 + 2);
    EXPECT_EQ(sent[0].toHex(), QByteArray("020500301200"));
    EXPECT_EQ(sent[1].toHex(), QByteArray("020300301200") + "03" + "c0db00");
    EXPECT_EQ(sent[2].toHex(), QByteArray("020200301200") + "03");
    EXPECT_EQ(nodes.mid(0, 3), (QList<int>{2, 2, 2}));
    EXPECT_EQ(sent[4].toHex(), QByteArray("030700400008"));
    EXPECT_EQ(sent[5].toHex(), QByteArray("030600400008") + "03" + "c0db00");
    EXPECT_EQ(nodes.mid(4), (QList<int>{3, 3}));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceCommandsWireTest, ScreenTextPayloads) {
    ASSERT_TRUE(commands.pcConnection(QStringLiteral("ABCDEFGHIJKLMNOPQRST"), true));
    const int first = peer.requestCount();  // the platform description came first
    ASSERT_TRUE(commands.pcConnection(QStringLiteral("abc"), true));
    ASSERT_TRUE(commands.pcPrint(QString(), true));
    ASSERT_TRUE(commands.pcPrint(QStringLiteral("Hi"), true));

    const QList<QByteArray> sent = payloadsFrom(first - 1);
    ASSERT_EQ(sent.size(), 4);
    EXPECT_EQ(sent[0], hex("0106") + "ABCDEFGHIJKLM" + QByteArray(1, '\0'));
    EXPECT_EQ(sent[1], hex("0106") + "abc" + QByteArray(11, '\0'));
    EXPECT_EQ(sent[2], hex("010700"));
    EXPECT_EQ(sent[3], hex("0107") + "Hi" + QByteArray(1, '\0'));
}

}  // namespace
}  // namespace verimant
