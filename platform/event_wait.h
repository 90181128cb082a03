#pragma once

#include <QThread>

#include <functional>

namespace verimant {

// Waits while the calling thread's event loop keeps running, so timers and user actions run inside
// the wait. Blocks in the event loop instead of spinning: an idle wait costs no CPU.
void pumpEventsFor(int ms);

// Waits until `done` returns true or `timeoutMs` passes, running the event loop meanwhile; `done`
// is checked after every batch of events. Returns `done()`'s last value. Another thread wakes the
// waiter with wakeThread() after it changed what `done` looks at.
bool pumpEventsUntil(const std::function<bool()>& done, int timeoutMs);

// Wakes `thread` out of a pumpEventsFor/pumpEventsUntil wait; callable from any thread.
void wakeThread(QThread* thread);

}  // namespace verimant
