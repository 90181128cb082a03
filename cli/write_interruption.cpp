#include "cli/write_interruption.h"

#include "device/write_cancel.h"

namespace verimant::cli {

namespace {

extern "C" void cancelWriteOnSigint(int) {
    requestWriteCancel();
}

}  // namespace

WriteInterruption::WriteInterruption() {
    struct sigaction action {};
    action.sa_handler = &cancelWriteOnSigint;
    sigemptyset(&action.sa_mask);
    // The first Ctrl-C is taken over; the next one gets the default action again.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, &previous_);
}

WriteInterruption::~WriteInterruption() {
    sigaction(SIGINT, &previous_, nullptr);
}

}  // namespace verimant::cli
