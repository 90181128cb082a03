#include "link/com_port.h"

#include "platform/monotonic_clock.h"
#include "tests/link/pty_peer.h"
#include "tests/support/unprivileged_user.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <QFile>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace verimant {
namespace {

using test::PtyPeer;

// Collects what the reader thread hands over, the way the protocol's receive path reads it.
class RecordingPort : public ComPort {
public:
    ~RecordingPort() override { stopReceiving(); }

    QByteArray takeReceived(int bytes, int timeoutMs) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return received_.size() >= bytes; });
        return received_;
    }

protected:
    void onReceive(int count) override {
        std::uint8_t buffer[4096];
        const int n = read(buffer, std::min(count, int(sizeof buffer)));
        std::lock_guard guard(mutex_);
        received_.append(reinterpret_cast<const char*>(buffer), n);
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    QByteArray received_;
};

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ready());
        port.setPortNumber(peer.portNumber());
        port.setLogSink([this](const QString& line) { log.append(line); });
    }

    PtyPeer peer;
    QStringList log;  // outlives the port, which logs its close when destroyed open
    RecordingPort port;
};

TEST_F(ComPortTest, OpenCloseAndRefusalsAreLoggedExactly) {
    port.setPortNumber(0);
    EXPECT_FALSE(port.open(230400));
    EXPECT_FALSE(port.close());
    EXPECT_TRUE(log.isEmpty()) << "port 0 and closing a closed port log nothing";

    port.setPortNumber(9);  // no such link
    EXPECT_FALSE(port.open(230400));
    EXPECT_FALSE(port.isOpen());
    std::uint8_t byte = 0x55;
    EXPECT_EQ(port.write(&byte, 1), 0);
    EXPECT_EQ(port.read(&byte, 1), 0);

    port.setPortNumber(peer.portNumber());
    EXPECT_TRUE(port.open(230400));
    EXPECT_TRUE(port.open(230400)) << "opening an open port closes it first";
    EXPECT_TRUE(port.close());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(log, (QStringList{"Open COM 9 : Error", "Open COM 7 : OK", "Close COM 7 : OK",
                                "Open COM 7 : OK", "Close COM 7 : OK"}));
}

// A port the user may not use keeps the usual error line; why, and what to do, follows once and
// not at every retry of the connection timer, and again once the port has opened in between.
TEST_F(ComPortTest, PermissionRefusalIsExplainedOncePerRefusal) {
    test::openPortsFolderToOthers();
    const auto refusedOpen = [&] {
        EXPECT_TRUE(test::refuseAccess(peer.slavePath()));
        test::ActingAsNobody nobody;
        return port.open(230400);
    };
    EXPECT_FALSE(refusedOpen());
    EXPECT_FALSE(refusedOpen());
    ASSERT_EQ(log.size(), 3) << log.join('\n').toStdString();
    EXPECT_EQ(log[0], "Open COM 7 : Error");
    // As root the device went to the group dialout, which nobody may join; otherwise its mode is 0.
    const QString reason = test::runningAsRoot() ? ": join the group dialout" : " (owner ";
    EXPECT_TRUE(log[1].startsWith("No permission to open " + peer.slavePath() + reason))
        << log[1].toStdString();
    EXPECT_EQ(log[2], "Open COM 7 : Error");

    ASSERT_EQ(::chmod(QFile::encodeName(peer.slavePath()).constData(), 0600), 0);
    EXPECT_TRUE(port.open(230400));
    EXPECT_TRUE(port.close());
    EXPECT_FALSE(refusedOpen());
    EXPECT_EQ(log.mid(3),
              (QStringList{"Open COM 7 : OK", "Close COM 7 : OK", "Open COM 7 : Error", log[1]}));
}

TEST_F(ComPortTest, IsExclusiveWhileOpenAndReleasedByCloseOrDestruction) {
    ASSERT_TRUE(port.open(230400));
    int exclusive = 0;
    ASSERT_EQ(::ioctl(peer.slaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    ComPort other;
    other.setPortNumber(peer.portNumber());
    EXPECT_FALSE(other.open(230400));

    port.close();
    // A flag left behind would lock out the next non-root opener of the pseudo-terminal.
    ASSERT_EQ(::ioctl(peer.slaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);

    {
        RecordingPort owner;
        owner.setPortNumber(peer.portNumber());
        owner.setLogSink([&](const QString& line) { log.append(line); });
        ASSERT_TRUE(owner.open(230400));
        peer.sendRaw("abc");
        EXPECT_EQ(owner.takeReceived(3, 2000), QByteArray("abc"));
    }
    EXPECT_EQ(log.last(), "Close COM 7 : OK") << "destroying an open port closes it";
    EXPECT_TRUE(other.open(230400));
}

TEST_F(ComPortTest, RawBytesBothWaysAndNothingFromBeforeTheOpen) {
    peer.sendRaw("stale bytes from before");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(port.open(230400));
    QByteArray all;
    for (int i = 0; i < 3000; ++i) {
        all.append(char(i * 7));
    }
    peer.sendRaw(all);
    EXPECT_EQ(port.takeReceived(int(all.size()), 3000), all);

    const QByteArray out("\xC0\x00\x01hello\xDB\xC0", 10);
    EXPECT_EQ(port.write(reinterpret_cast<const std::uint8_t*>(out.constData()), int(out.size())),
              int(out.size()));
    ASSERT_TRUE(peer.waitForReceived(int(out.size()), 2000));
    EXPECT_EQ(peer.received(), out) << "the line must be raw: no translation, no echo";
}

TEST_F(ComPortTest, CloseWhileBytesKeepArrivingDoesNotDeadlock) {
    ASSERT_TRUE(port.open(230400));
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        while (!stop) {
            peer.sendRaw(QByteArray(256, 'x'));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = tickCountMs();
    EXPECT_TRUE(port.close());
    EXPECT_LT(tickCountMs() - start, 1000);
    stop = true;
    flood.join();
}

TEST_F(ComPortTest, HangUpStopsTheReaderAndFailsTransfers) {
    ASSERT_TRUE(port.open(230400));
    peer.sendRaw("last words");
    EXPECT_EQ(port.takeReceived(10, 2000), QByteArray("last words"));

    peer.closeMaster();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto cpuBefore = test::processCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    // A reader woken again and again by the hang-up would use most of a core.
    EXPECT_LT(test::processCpuMs() - cpuBefore, 200) << "reader thread spins on a hung-up line";

    EXPECT_TRUE(port.lineHungUp());
    EXPECT_TRUE(port.isOpen()) << "an unplugged adapter stays open until closed";
    std::uint8_t byte = 1;
    EXPECT_EQ(port.write(&byte, 1), 0);
    EXPECT_EQ(port.read(&byte, 1), 0);
    EXPECT_TRUE(port.close());
}

}  // namespace
}  // namespace verimant
