#include "link/device_protocol.h"

#include "platform/monotonic_clock.h"
#include "tests/link/pty_peer.h"
#include "tests/support/scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <chrono>
#include <thread>

namespace verimant {
namespace {

using test::PtyPeer;

const QByteArray kEchoRequest("\x01\x00", 2);

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto end = tickCountMs() + timeoutMs;
    while (!done()) {
        if (tickCountMs() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A frame as the device sends it to node `node`, answering command 0x01 0x00.
QByteArray answerFrame(int node, const QByteArray& data) {
    return PtyPeer::wire(nodeAddress(node) + nodeAddress(1) + QByteArray("\x41\x00", 2) + data);
}

class DeviceProtocolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ready());
        protocol.setPortNumber(peer.portNumber());
        ASSERT_TRUE(protocol.open(230400));
    }

    PtyPeer peer;
    test::ScriptedDialogs dialogs;
    DeviceProtocol protocol;
    ProtocolChannel* general = protocol.channel(DeviceProtocol::kGeneralChannel);
    ProtocolChannel* flash = protocol.channel(DeviceProtocol::kExternalFlashChannel);
    ProtocolChannel* cpu = protocol.channel(DeviceProtocol::kCpuFlashChannel);
};

TEST(DeviceProtocolChannels, ThreeChannelsAndKeyRules) {
    DeviceProtocol protocol;
    for (int key : {1, 2, 3}) {
        ASSERT_NE(protocol.channel(key), nullptr);
        EXPECT_EQ(protocol.channel(key)->key(), key);
    }
    EXPECT_EQ(protocol.createChannel(0)->key(), -1);
    EXPECT_EQ(protocol.createChannel(32)->key(), -1);
    EXPECT_EQ(protocol.createChannel(2)->key(), -1) << "a taken key is not given twice";
    ProtocolChannel* fourth = protocol.createChannel(31);
    EXPECT_EQ(fourth->key(), 31);
    EXPECT_EQ(protocol.channel(31), fourth);
    EXPECT_EQ(protocol.channel(-1), nullptr);
}

TEST(DeviceProtocolClosed, RefusesWithoutTrafficOrBox) {
    test::ScriptedDialogs dialogs;
    DeviceProtocol protocol;
    EXPECT_FALSE(protocol.transact(protocol.channel(1), kEchoRequest, "*"));
    EXPECT_EQ(protocol.testConnection("Tarvelon", true), -2);
    EXPECT_EQ(protocol.testConnection(QByteArray(), true), -1);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceProtocolTest, RequestFramesOnTheWireAndWhatDoesNotFit) {
    EXPECT_TRUE(protocol.sendFrame(general, kEchoRequest));
    const QByteArray expected("\xC0\x00\x01\x00\x01\x01\x00\x24\x02\xC0", 10);
    ASSERT_TRUE(peer.waitForReceived(int(expected.size()), 2000));
    EXPECT_EQ(peer.received(), expected);

    // Source node is the channel's key; stuffed bytes and a frame longer than one 64-byte write
    // arrive intact.
    QByteArray payload("\x05\x02", 2);
    for (int i = 0; i < 200; ++i) {
        payload.append(char(i % 2 ? 0xC0 : 0xDB));
    }
    EXPECT_TRUE(protocol.sendFrame(flash, payload));
    ASSERT_TRUE(peer.waitForRequests(2, 2000));
    EXPECT_EQ(peer.requests().at(1), nodeAddress(1) + nodeAddress(2) + payload);

    EXPECT_FALSE(protocol.sendFrame(general, QByteArray(1, '\x01')));
    EXPECT_FALSE(protocol.sendFrame(general, QByteArray(253, '\x01')));
    EXPECT_FALSE(protocol.sendFrame(nullptr, kEchoRequest));
    EXPECT_TRUE(protocol.sendFrame(general, QByteArray(252, '\x01')));
    ASSERT_TRUE(peer.waitForRequests(3, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(peer.requestCount(), 3);
    EXPECT_EQ(peer.requests().at(2).size(), 256);
}

TEST_F(DeviceProtocolTest, AnswerIsTakenAtOnce) {
    const auto start = tickCountMs();
    ASSERT_TRUE(protocol.transact(general, kEchoRequest + "abc", "*"));
    EXPECT_LT(tickCountMs() - start, 200);
    EXPECT_EQ(protocol.answerData(general), QByteArray("abc"));
    EXPECT_EQ(protocol.answerDataLength(general), 3);
    EXPECT_EQ(peer.requestCount(), 1);

    // Without a wake-up from the reader the wait would only notice answers at its deadline.
    const auto loopStart = tickCountMs();
    for (int i = 0; i < 100; ++i) {
        const QByteArray data = QByteArray::number(i);
        ASSERT_TRUE(protocol.transact(flash, QByteArray("\x05\x01", 2) + data, "*"));
        ASSERT_EQ(protocol.answerData(flash), data);
    }
    EXPECT_LT(tickCountMs() - loopStart, 3000);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceProtocolTest, LostOrCorruptedAnswerIsRequestedAgain) {
    peer.dropAnswers(1);
    ASSERT_TRUE(protocol.transact(general, kEchoRequest + "x", "*"));
    ASSERT_EQ(peer.requestCount(), 2);
    EXPECT_EQ(peer.requests().at(0), peer.requests().at(1));

    peer.corruptNextAnswer();
    ASSERT_TRUE(protocol.transact(general, kEchoRequest + "y", "*"));
    EXPECT_EQ(peer.requestCount(), 4) << "the corrupted answer must not count";
    EXPECT_EQ(protocol.answerData(general), QByteArray("y"));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceProtocolTest, OnlyTheAnswerIsTakenFromWhatArrives) {
    peer.setResponder([](const QByteArray& request) {
        QByteArray notAnAnswer = PtyPeer::answerBody(request, "1");
        notAnAnswer[4] = char(notAnAnswer[4] & ~0x40);  // the request's own command bytes
        QByteArray otherCommand = PtyPeer::answerBody(request, "2");
        otherCommand[5] = char(otherCommand[5] + 1);
        // Only the low six bits of the command bytes take part in the match.
        QByteArray answer = PtyPeer::answerBody(request, "3");
        answer[4] = char(answer[4] | 0x80);
        answer[5] = char(answer[5] | 0xC0);
        return PtyPeer::corrupted(PtyPeer::answerBody(request, "bad")) +
               PtyPeer::wire(notAnAnswer) + PtyPeer::wire(otherCommand) + PtyPeer::wire(answer);
    });
    const auto start = tickCountMs();
    ASSERT_TRUE(protocol.transact(general, kEchoRequest, "*"));
    EXPECT_LT(tickCountMs() - start, 500);
    EXPECT_EQ(peer.requestCount(), 1);
    EXPECT_EQ(protocol.answerData(general), QByteArray("3"));
    EXPECT_EQ(general->queuedCount(), 1);

    // The answer left in the queue is cleared away before the next request, not taken for it.
    peer.setResponder(
        [](const QByteArray& request) { return PtyPeer::wire(PtyPeer::echoBody(request)); });
    ASSERT_TRUE(protocol.transact(general, kEchoRequest + "new", "*"));
    EXPECT_EQ(protocol.answerData(general), QByteArray("new"));
}

TEST_F(DeviceProtocolTest, SilentDeviceSendsThreeTimesThenShowsTheDefaultBox) {
    peer.setSilent(true);
    bool timerRan = false;
    QTimer::singleShot(100, [&] { timerRan = true; });
    const auto cpuBefore = test::processCpuMs();
    const auto start = tickCountMs();

    EXPECT_FALSE(protocol.transact(general, kEchoRequest, "*"));

    const auto elapsed = tickCountMs() - start;
    EXPECT_GE(elapsed, 2000);
    EXPECT_LE(elapsed, 3000);
    EXPECT_LT(test::processCpuMs() - cpuBefore, 300) << "the wait must block, not poll";
    EXPECT_TRUE(timerRan) << "timers keep running inside the wait";
    ASSERT_EQ(peer.requestCount(), 3);
    const auto times = peer.requestTimes();
    for (int i = 1; i < 3; ++i) {
        EXPECT_GE(times[i] - times[i - 1], 650);
        EXPECT_LE(times[i] - times[i - 1], 1000);
    }
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, "error");
    EXPECT_EQ(dialogs.boxes[0].text, "No answer from device");
}

TEST_F(DeviceProtocolTest, RoutingKeepsWhatFitsOnTheAddressedChannel) {
    QByteArray burst;
    for (int i = 0; i < 11; ++i) {
        burst += answerFrame(2, QByteArray::number(i));
    }
    peer.sendRaw(burst);
    // Address fields and one command byte: checksum fine, too short to be an answer.
    peer.sendRaw(PtyPeer::wire(nodeAddress(3) + nodeAddress(1) + QByteArray(1, '\x41')));
    peer.sendRaw(answerFrame(9, "nobody"));  // no channel 9
    peer.sendRaw(PtyPeer::wireAnyLength(nodeAddress(3) + nodeAddress(1) + QByteArray(996, 'L')));
    peer.sendRaw(PtyPeer::wireAnyLength(nodeAddress(3) + nodeAddress(1) + QByteArray(995, 'M')));
    peer.sendRaw(answerFrame(3, "last"));
    ASSERT_TRUE(waitFor([&] { return cpu->queuedCount() == 2; }, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(flash->queuedCount(), 10) << "the eleventh frame finds the queue full";
    EXPECT_EQ(protocol.answerData(flash), QByteArray("0")) << "what was queued is kept";
    EXPECT_EQ(cpu->queuedCount(), 2) << "only the 999-byte frame and the last one fit";
    EXPECT_EQ(protocol.answerDataLength(cpu), 993);
    EXPECT_EQ(general->queuedCount(), 0);
}

TEST_F(DeviceProtocolTest, ConnectionTestResults) {
    EXPECT_EQ(protocol.testConnection("Tarvelon", false), 1);
    EXPECT_EQ(peer.requests().last(), nodeAddress(1) + nodeAddress(1) + kEchoRequest + "Tarvelon");
    // Opening the open port again restarts its reader cleanly.
    ASSERT_TRUE(protocol.open(230400));
    const QByteArray twenty("ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(protocol.testConnection(twenty, false), 1);
    EXPECT_EQ(peer.requests().last().mid(4), kEchoRequest + twenty.left(16));

    const struct {
        const char* echo;
        int result;
    } rows[] = {{"Tarvelon!", 1}, {"Tarvelon!!", 0}, {"Tarv", 0}, {"Tarvelox", 0}};
    for (const auto& row : rows) {
        const QByteArray echo(row.echo);
        peer.setResponder([echo](const QByteArray& request) {
            return PtyPeer::wire(PtyPeer::answerBody(request, echo));
        });
        EXPECT_EQ(protocol.testConnection("Tarvelon", false), row.result) << row.echo;
    }
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(DeviceProtocolTest, UnpluggedMidTransactionFailsWithoutHanging) {
    ASSERT_EQ(protocol.testConnection("Tarvelon", false), 1);
    peer.closeOnRequest(1);
    const auto start = tickCountMs();
    EXPECT_FALSE(protocol.transact(general, kEchoRequest, ""));
    EXPECT_LT(tickCountMs() - start, 3000);
    EXPECT_TRUE(peer.masterClosed());
    EXPECT_TRUE(protocol.lineHungUp());
    EXPECT_TRUE(dialogs.boxes.isEmpty()) << "an empty message shows no box";

    // The link test now fails as it does for a silent device, and the port closes cleanly.
    EXPECT_EQ(protocol.testConnection("Tarvelon", true), 0);
    EXPECT_EQ(dialogs.textsOf("error"), QStringList{"No answer in connection test"});
    EXPECT_TRUE(protocol.close());
    EXPECT_EQ(protocol.testConnection("Tarvelon", false), -2);
}

// Once the reader has seen the hang-up nothing can answer: the transaction ends without waiting
// in the event loop at all, and one that was waiting when the line went ends before its resend.
TEST_F(DeviceProtocolTest, HungUpLineFailsWithoutWaitingForTheTimeLimit) {
    ASSERT_EQ(protocol.testConnection("Tarvelon", false), 1);
    peer.closeOnRequest(1);
    bool resendDue = false;
    QTimer::singleShot(700, [&] { resendDue = true; });
    EXPECT_FALSE(protocol.transact(general, kEchoRequest, ""));
    EXPECT_FALSE(resendDue) << "the transaction waited for its time limit";
    ASSERT_TRUE(protocol.lineHungUp());

    bool pumped = false;
    QTimer::singleShot(0, [&] { pumped = true; });
    EXPECT_EQ(protocol.testConnection("Tarvelon", true), 0);
    EXPECT_FALSE(pumped) << "a transaction on a hung-up line waited";
    EXPECT_EQ(dialogs.textsOf("error"), QStringList{"No answer in connection test"});
}

}  // namespace
}  // namespace verimant
