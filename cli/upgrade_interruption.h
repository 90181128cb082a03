#pragma once

#include <csignal>

namespace verimant::cli {

// While it lives, the first Ctrl-C (SIGINT) stops the upgrade where the instrument is safe, as the
// window's stop does: before the writes it cancels the run, a main-firmware write runs to its end
// and the instrument goes back into that firmware, the data write stops at a chunk boundary. The
// command then ends as after any other stop, with its report. A second Ctrl-C removes the run's
// temporary folder and ends the program at once.
class UpgradeInterruption {
public:
    UpgradeInterruption();
    ~UpgradeInterruption();
    UpgradeInterruption(const UpgradeInterruption&) = delete;
    UpgradeInterruption& operator=(const UpgradeInterruption&) = delete;

    // True once Ctrl-C was pressed.
    static bool requested();

private:
    struct sigaction previous_ {};
};

}  // namespace verimant::cli
