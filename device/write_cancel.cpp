#include "device/write_cancel.h"

#include <atomic>

namespace verimant {

namespace {

// Atomic so that a signal handler may raise it.
std::atomic<bool> cancelRequested{false};

}  // namespace

void requestWriteCancel() {
    cancelRequested = true;
}

void clearWriteCancel() {
    cancelRequested = false;
}

bool writeCancelRequested() {
    return cancelRequested;
}

}  // namespace verimant
