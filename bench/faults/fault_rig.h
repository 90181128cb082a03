#pragma once

#include "base/activity_log.h"
#include "bench/faults/fault_operator.h"
#include "bench/faults/fault_setup.h"
#include "device/device_session.h"
#include "link/connection_manager.h"
#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "link/link_flags.h"
#include "link/settings_block.h"
#include "sim/pty_instrument.h"
#include "update/update_run.h"

#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace verimant::faults {

struct RigOptions {
    // Short restarts keep a sweep of a hundred cut points within minutes; the tool waits for a
    // restarted instrument in whole seconds either way.
    int resetDelayMs = 300;
    sim::SimFaults faults;
    std::uint32_t faultSeed = 1;
};

// One simulated instrument, fresh from the factory, and the tool's side wired as the window wires
// it: the connection manager on the instrument's port with its timer running all the time, so it
// finds the instrument again after every restart and every cut, and the update side filled as
// start-up fills it from the setup's server.
class FaultRig {
public:
    FaultRig(const FaultSetup& setup, const RigOptions& options);
    ~FaultRig();
    FaultRig(const FaultRig&) = delete;
    FaultRig& operator=(const FaultRig&) = delete;

    // Fetches what start-up fetches, starts the instrument (in the ports folder of
    // VERIMANT_PORTS_DIR) and connects to it.
    bool start(QString* error);
    // The whole upgrade, as the upgrade button runs it, answered by the fault operator.
    RunOutcome runUpgrade();
    // Plugs a cut-off instrument back in, without further faults, and waits until the tool has
    // found it again.
    bool plugBackIn(QString* error);
    // Saves the instrument's flashes into `saveDir` and compares the saved files with `expected`,
    // and the instrument's display language with the chosen one: empty when all is as meant,
    // otherwise the difference (or why it could not be compared).
    QString instrumentDifference(const ExpectedFlashes& expected, const QString& saveDir);
    // A fresh readout, as the next run begins with one: empty when it reports the set's firmware
    // or data version only over that image whole, otherwise what it claims over what.
    QString readoutClaims();
    // Requests the instrument has carried out so far, link tests not counted.
    int writeRequests();
    // Why the last run failed, in the tool's own words: the last step it began, its last error
    // line and its last box.
    QString failureText() const;

    sim::PtyInstrument& instrument() { return instrument_; }
    ActivityLog& log() { return log_; }

private:
    const FaultSetup& setup_;
    FaultOperator answers_;
    ActivityLog log_;
    DeviceProtocol protocol_;
    DeviceCommands commands_{protocol_};
    LinkFlags flags_;
    DeviceSession session_{log_, protocol_, commands_, flags_};
    ConnectionManager manager_{protocol_, flags_, log_};
    QTimer connectionTimer_;
    sim::PtyInstrument instrument_;
    QTemporaryDir toolFolder_;
    std::unique_ptr<UpdateRun> run_;
    SettingsBlock settings_;
};

}  // namespace verimant::faults
