#include "platform/event_wait.h"

#include "platform/monotonic_clock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <time.h>
#include <atomic>
#include <chrono>
#include <thread>

namespace verimant {
namespace {

std::int64_t cpuMs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

TEST(EventWait, NothingPositiveToWaitReturnsAtOnceWithoutDispatching) {
    bool dispatched = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { dispatched = true; }, Qt::QueuedConnection);
    wakeThread(nullptr);
    const std::int64_t start = tickCountMs();
    pumpEventsFor(0);
    pumpEventsFor(-20);
    EXPECT_FALSE(pumpEventsUntil([] { return false; }, 0));
    // A condition already met is reported without waiting.
    EXPECT_TRUE(pumpEventsUntil([] { return true; }, 10000));
    EXPECT_LT(tickCountMs() - start, 20);
    EXPECT_FALSE(dispatched);
}

TEST(EventWait, TimersAndPostedEventsRunInsideAnIdleWaitThatCostsNoCpu) {
    bool timerFired = false;
    bool postedRan = false;
    QTimer::singleShot(50, [&] { timerFired = true; });
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { postedRan = true; }, Qt::QueuedConnection);
    const std::int64_t cpuBefore = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const std::int64_t start = tickCountMs();
    // Events that end one block of the wait must not end the wait itself.
    EXPECT_FALSE(pumpEventsUntil([] { return false; }, 1000));
    const std::int64_t elapsed = tickCountMs() - start;
    const std::int64_t cpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore;
    EXPECT_TRUE(timerFired);
    EXPECT_TRUE(postedRan);
    EXPECT_GE(elapsed, 1000);
    EXPECT_LT(elapsed, 1500);
    EXPECT_LT(cpu, 100) << "an idle one-second wait used " << cpu << " ms of CPU";

    bool flag = false;
    QTimer::singleShot(60, [&] { flag = true; });
    const std::int64_t untilStart = tickCountMs();
    EXPECT_TRUE(pumpEventsUntil([&] { return flag; }, 5000));
    EXPECT_LT(tickCountMs() - untilStart, 500);
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
        const std::int64_t cpuBefore = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
        const std::int64_t start = tickCountMs();
        const bool met = pumpEventsUntil([&] { return ready.load(); }, 10000);
        const std::int64_t elapsed = tickCountMs() - start;
        const std::int64_t cpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore;
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
    const std::int64_t start = tickCountMs();
    const bool met = pumpEventsUntil(
        [&] {
            if (checks++ == 0) {
                std::thread([&] {
                    ready = true;
                    wakeThread(waiter);
                }).join();
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
    std::thread([&] {
        const std::int64_t cpuBefore = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        const std::int64_t start = tickCountMs();
        pumpEventsFor(300);
        elapsed = tickCountMs() - start;
        cpu = cpuMs(CLOCK_THREAD_CPUTIME_ID) - cpuBefore;
    }).join();
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(cpu, 60);
}

}  // namespace
}  // namespace verimant
