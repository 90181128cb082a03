#pragma once

#include "link/connection_manager.h"
#include "link/settings_block.h"
#include "tests/device/sealed_firmware_region.h"
#include "tests/device/simulated_device.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/update_set_folder.h"
#include "update/busy_view.h"
#include "update/device_language_chooser.h"
#include "update/packet_chooser.h"
#include "update/update_run.h"
#include "update/upgrade_workflow.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace verimant::test {

// The packet choice answered from a script, later, through the event loop, as the dialog does.
class ScriptedPacketChooser final : public PacketChooser {
public:
    int answer = 0;  // position, or kPacketChoiceCancelled
    int opened = 0;
    QStringList offered;

    void OpenLanguagePacketDialog(const UpdateConfig& config, const QStringList& packets,
                                  int& slot) override;
};

// The device-language choice answered from a script: the language at `answerIndex` of those
// offered, or a cancel for a negative index.
class ScriptedLanguageChooser final : public DeviceLanguageChooser {
public:
    int answerIndex = 0;
    int opened = 0;
    QStringList offeredNames;

    void OpenDeviceLanguageDialog(const LanguageCatalog* catalog, int currentCode,
                                  int& slot) override;
};

// Records every showing and hiding of the busy sign with the log's length at that moment.
class RecordingBusyView final : public BusyView {
public:
    struct Event {
        bool shown;
        int periodMs;
        qsizetype logLines;
    };
    explicit RecordingBusyView(const ActivityLog& log) : log_(log) {}
    QList<Event> events;
    // Called after each showing with its number, counted from 1.
    std::function<void(int)> onShow;

    void ShowBusy(int periodMs) override;
    void HideBusy() override;

private:
    const ActivityLog& log_;
};

// One instrument with everything an upgrade needs around it: the simulator found by the tool's
// own connection manager (whose timer runs, as in the window, so mode switches find the restarted
// instrument), a real FTP server with the demo's update set, the run's configuration, base and
// catalogue fetched from it into a private temporary folder, and the choices answered by scripts.
class UpgradeHarness {
public:
    explicit UpgradeHarness(sim::InstrumentConfig config = {});
    ~UpgradeHarness();

    // Starts the server and the instrument and fetches what start-up fetches. Call after changing
    // the set.
    bool start();

    UpgradeParts parts();
    UpgradeOutcome runWorkflow(UpgradeCheck* check = nullptr);

    // Every erase and write the instrument saw in its two flashes.
    std::vector<sim::FlashOperation> flashOperations() { return device.flashOperations(); }
    sim::InstrumentMode mode();
    // Files fetched into the run's temporary folder.
    QStringList fetchedFiles() const;

    SimulatedDevice device;
    UpdateSetFolder set;
    FtpTestServer server;
    std::unique_ptr<UpdateRun> run;
    SettingsBlock settings;
    ScriptedPacketChooser packets;
    ScriptedLanguageChooser languages;
    RecordingBusyView busy{device.log};

private:
    ConnectionManager manager_;
    QTimer timer_;
};

}  // namespace verimant::test
