#pragma once

#include <QString>

#include <csignal>

namespace verimant {
class DeviceProtocol;
}

namespace verimant::cli {

// While it lives, the first Ctrl-C (SIGINT) stops the upgrade the way the writers stop: the request
// under way is answered, no further request goes to the instrument, a writer logs where it
// stopped, and the command ends as after any other stop, with its report. A second Ctrl-C removes
// the run's temporary folder and ends the program at once.
class UpgradeInterruption {
public:
    UpgradeInterruption(DeviceProtocol& protocol, const QString& folder);
    ~UpgradeInterruption();
    UpgradeInterruption(const UpgradeInterruption&) = delete;
    UpgradeInterruption& operator=(const UpgradeInterruption&) = delete;

    // True once Ctrl-C was pressed.
    static bool requested();

private:
    DeviceProtocol& protocol_;
    struct sigaction previous_ {};
};

}  // namespace verimant::cli
