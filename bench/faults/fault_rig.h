#pragma once

#include "base/activity_log.h"
#include "base/user_dialogs.h"
#include "bench/faults/write_sequence.h"
#include "bench/faults/write_set.h"
#include "device/device_session.h"
#include "link/connection_manager.h"
#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "link/link_flags.h"
#include "sim/pty_instrument.h"

#include <QStringList>
#include <QTimer>

namespace verimant::faults {

// Boxes are kept for the verdict instead of being shown; questions are answered No.
class RecordedDialogs final : public UserDialogs {
public:
    void showError(const QString& text) override { boxes << text; }
    void showWarning(const QString& text) override { boxes << text; }
    void showInformation(const QString& text) override { boxes << text; }
    bool askYesNo(const QString&, const QString&) override { return false; }
    bool askText(const QString&, const QString&, QString&) override { return false; }
    bool chooseFileToOpen(QString&) override { return false; }
    bool chooseFileToSave(QString&) override { return false; }

    QStringList boxes;
};

struct RigOptions {
    int portNumber = 21;
    // Short restarts keep a sweep of a hundred cut points within minutes; the tool waits for a
    // restarted instrument in whole seconds either way.
    int resetDelayMs = 300;
    sim::SimFaults faults;
    std::uint32_t faultSeed = 1;
};

// One simulated instrument, fresh from the factory, and the tool's side wired as the window wires
// it: the connection manager on the instrument's port with its timer running all the time, so it
// finds the instrument again after every restart and every cut.
class FaultRig {
public:
    FaultRig(const WriteSet& set, const RigOptions& options);
    ~FaultRig();
    FaultRig(const FaultRig&) = delete;
    FaultRig& operator=(const FaultRig&) = delete;

    // Starts the instrument (in the ports folder of VERIMANT_PORTS_DIR) and connects to it.
    bool start(QString* error);
    WriteOutcome runWriteSequence();
    // Plugs a cut-off instrument back in, without further faults, and waits until the tool has
    // found it again.
    bool plugBackIn(QString* error);
    // Saves the instrument's flashes into `saveDir` and compares the saved files with `expected`:
    // empty when equal, otherwise the difference (or why they could not be compared).
    QString savedFlashDifference(const ExpectedFlashes& expected, const QString& saveDir);
    // Requests the instrument has carried out so far, link tests not counted.
    int writeRequests();
    // Why the last run failed, in the tool's own words: its last error line and box.
    QString failureText() const;

    sim::PtyInstrument& instrument() { return instrument_; }
    ActivityLog& log() { return log_; }

private:
    const WriteSet& set_;
    RigOptions options_;
    RecordedDialogs dialogs_;
    ActivityLog log_;
    DeviceProtocol protocol_;
    DeviceCommands commands_{protocol_};
    LinkFlags flags_;
    DeviceSession session_{log_, protocol_, commands_, flags_};
    ConnectionManager manager_{protocol_, flags_, log_};
    QTimer connectionTimer_;
    sim::PtyInstrument instrument_;
};

}  // namespace verimant::faults
