#include "cli/upgrade_interruption.h"

#include "cli/folders_on_signal.h"
#include "device/write_cancel.h"

#include <unistd.h>
#include <atomic>

namespace verimant::cli {

namespace {

std::atomic<int> interruptions{0};

constexpr char kNotice[] =
    "\nCtrl-C: the upgrade stops at its next safe point (a main-firmware write runs to its end "
    "and the instrument goes back into it); Ctrl-C again ends at once\n";

extern "C" void interruptUpgrade(int signal) {
    if (interruptions.fetch_add(1) == 0) {
        requestRunStop();
        [[maybe_unused]] const ssize_t written =
            ::write(STDERR_FILENO, kNotice, sizeof kNotice - 1);
        return;
    }
    // The run's folder is registered with the folders a terminating signal removes.
    removeRegisteredFoldersAndEnd(signal);
}

}  // namespace

UpgradeInterruption::UpgradeInterruption() {
    interruptions = 0;
    struct sigaction action {};
    action.sa_handler = &interruptUpgrade;
    sigemptyset(&action.sa_mask);
    // Restarted, so a Ctrl-C never turns into a failed read of the port or the terminal.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previous_);
}

UpgradeInterruption::~UpgradeInterruption() {
    ::sigaction(SIGINT, &previous_, nullptr);
    clearRunStop();
}

bool UpgradeInterruption::requested() {
    return interruptions > 0;
}

}  // namespace verimant::cli
