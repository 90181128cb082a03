#include "device/write_cancel.h"

#include <atomic>

namespace verimant {

namespace {

// Atomic so that a signal handler may raise it.
std::atomic<bool> cancelRequested{false};
std::atomic<bool> stopRequested{false};
std::atomic<bool> writing{false};

}  // namespace

void requestWriteCancel() {
    cancelRequested = true;
}

void clearWriteCancel() {
    cancelRequested = false;
}

bool writeCancelRequested() {
    return cancelRequested || stopRequested;
}

void requestRunStop() {
    stopRequested = true;
}

void clearRunStop() {
    stopRequested = false;
}

bool runStopRequested() {
    return stopRequested;
}

void setRunWriting(bool value) {
    writing = value;
}

bool runWriting() {
    return writing;
}

}  // namespace verimant
