#include "platform/event_wait.h"

#include "platform/monotonic_clock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <sys/resource.h>
#include <atomic>
#include <chrono>
#include <thread>

namespace verimant {
namespace {

std::int64_t cpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_usec / 1000;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

TEST(EventWait, NothingPositiveToWaitReturnsAtOnceWithoutDispatching) {
    bool dispatched = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { dispatched = true; }, Qt::QueuedConnection);
    const std::int64_t start = tickCountMs();
    pumpEventsFor(0);
    pumpEventsFor(-20);
    EXPECT_FALSE(pumpEventsUntil([] { return false; }, 0));
    EXPECT_LT(tickCountMs() - start, 20);
    EXPECT_FALSE(dispatched);

    // A condition already met is reported without waiting.
    EXPECT_TRUE(pumpEventsUntil([] { return true; }, 10000));
    EXPECT_LT(tickCountMs() - start, 20);
    QCoreApplication::processEvents();
    EXPECT_TRUE(dispatched);
}

TEST(EventWait, TimersAndPostedEventsRunInsideTheWait) {
    bool timerFired = false;
    bool postedRan = false;
    QTimer::singleShot(50, [&] { timerFired = true; });
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { postedRan = true; }, Qt::QueuedConnection);

    const std::int64_t start = tickCountMs();
    pumpEventsFor(300);
    const std::int64_t elapsed = tickCountMs() - start;
    EXPECT_TRUE(timerFired);
    EXPECT_TRUE(postedRan);
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(elapsed, 800);
}

TEST(EventWait, IdleWaitCostsNoCpu) {
    const std::int64_t cpuBefore = cpuMs(RUSAGE_SELF);
    const std::int64_t start = tickCountMs();
    pumpEventsFor(1000);
    const std::int64_t elapsed = tickCountMs() - start;
    const std::int64_t cpu = cpuMs(RUSAGE_SELF) - cpuBefore;
    EXPECT_GE(elapsed, 1000);
    EXPECT_LT(elapsed, 1500);
    EXPECT_LT(cpu, 100) << "an idle one-second wait used " << cpu << " ms of CPU";
}

TEST(EventWait, UntilEndsWhenATimerMeetsTheConditionOrAtTheDeadline) {
    bool flag = false;
    QTimer::singleShot(60, [&] { flag = true; });
    std::int64_t start = tickCountMs();
    EXPECT_TRUE(pumpEventsUntil([&] { return flag; }, 5000));
    EXPECT_LT(tickCountMs() - start, 500);

    start = tickCountMs();
    EXPECT_FALSE(pumpEventsUntil([] { return false; }, 200));
    const std::int64_t elapsed = tickCountMs() - start;
    EXPECT_GE(elapsed, 200);
    EXPECT_LT(elapsed, 700);
}

TEST(EventWait, AnotherThreadWakesTheWaiterPromptly) {
    QThread* waiter = QThread::currentThread();
    for (int round = 0; round < 5; ++round) {
        std::atomic<bool> ready{false};
        std::thread other([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ready = true;
            wakeThread(waiter);
        });
        const std::int64_t cpuBefore = cpuMs(RUSAGE_SELF);
        const std::int64_t start = tickCountMs();
        const bool met = pumpEventsUntil([&] { return ready.load(); }, 10000);
        const std::int64_t elapsed = tickCountMs() - start;
        const std::int64_t cpu = cpuMs(RUSAGE_SELF) - cpuBefore;
        other.join();
        EXPECT_TRUE(met);
        EXPECT_GE(elapsed, 90);
        EXPECT_LT(elapsed, 400) << "round " << round;
        EXPECT_LT(cpu, 50) << "round " << round;
    }
}

TEST(EventWait, WakeBeforeTheWaitBlocksIsNotLost) {
    // The condition turns true and the wake arrives between the waiter's check and its block:
    // the check inside the wait sees it without waiting for the deadline.
    QThread* waiter = QThread::currentThread();
    std::atomic<bool> ready{false};
    std::atomic<int> checks{0};
    std::thread other;
    const std::int64_t start = tickCountMs();
    const bool met = pumpEventsUntil(
        [&] {
            if (checks++ == 0) {
                other = std::thread([&] {
                    ready = true;
                    wakeThread(waiter);
                });
                other.join();
                return false;
            }
            return ready.load();
        },
        5000);
    EXPECT_TRUE(met);
    EXPECT_LT(tickCountMs() - start, 300);
}

TEST(EventWait, ThreadWithoutEventLoopBlocksToo) {
    std::int64_t elapsed = 0;
    std::int64_t cpu = 0;
    std::thread worker([&] {
        const std::int64_t cpuBefore = cpuMs(RUSAGE_THREAD);
        const std::int64_t start = tickCountMs();
        pumpEventsFor(300);
        elapsed = tickCountMs() - start;
        cpu = cpuMs(RUSAGE_THREAD) - cpuBefore;
    });
    worker.join();
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(cpu, 60);
}

TEST(EventWait, WakingAThreadThatIsNotWaitingIsHarmless) {
    wakeThread(nullptr);
    wakeThread(QThread::currentThread());
    const std::int64_t start = tickCountMs();
    pumpEventsFor(100);
    EXPECT_GE(tickCountMs() - start, 100);
}

}  // namespace
}  // namespace verimant
