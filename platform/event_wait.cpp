#include "platform/event_wait.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace verimant {

bool pumpEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done()) {
        return true;
    }
    if (timeoutMs <= 0) {
        return false;
    }
    // The loop object makes sure this thread has an event dispatcher to block in; without one
    // processEvents would return at once and the wait would spin.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    // Measured from this very moment: a deadline on a whole-millisecond clock could end the
    // wait up to a millisecond early, and callers count on waiting at least timeoutMs.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const qint64 remaining = timeoutMs - waited.elapsed();
        if (remaining <= 0) {
            return done();
        }
        // Restarted each round: nested waits inside event handlers may have taken their time,
        // and the timer only has to end the block when nothing else does.
        deadline.start(static_cast<int>(remaining));
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (done()) {
            return true;
        }
    }
}

void pumpEventsFor(int ms) {
    if (ms <= 0) {
        return;
    }
    pumpEventsUntil([] { return false; }, ms);
}

void wakeThread(QThread* thread) {
    if (thread == nullptr) {
        return;
    }
    // A thread without a dispatcher is not waiting in one. A wake-up that arrives before the
    // waiter blocks is kept by the dispatcher, so it is never lost.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread)) {
        dispatcher->wakeUp();
    }
}

}  // namespace verimant
