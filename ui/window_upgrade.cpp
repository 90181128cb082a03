#include "ui/window_upgrade.h"

#include "device/device_session.h"
#include "link/device_commands.h"
#include "link/settings_block.h"
#include "ui/action_table.h"
#include "ui/device_info_display.h"
#include "ui/main_window.h"
#include "ui/window_connection.h"
#include "update/history_recording.h"
#include "update/update_run.h"

namespace verimant {

void connectUpgradeWorkflow(MainWindow& window, PacketChooser& packets,
                            DeviceLanguageChooser& languages, BusyView& busy) {
    window.setUpgradeWorkflow([&window, &packets, &languages, &busy] {
        runWindowUpgrade(window, packets, languages, busy);
    });
}

UpgradeOutcome runWindowUpgrade(MainWindow& window, PacketChooser& packets,
                                DeviceLanguageChooser& languages, BusyView& busy) {
    WindowConnection* link = window.connection();
    if (link == nullptr) {
        return UpgradeOutcome::Refused;
    }
    // Fresh records per run: what an earlier instrument on this port reported about its flash
    // must not steer the writes into this one.
    DeviceCommands commands(link->protocol());
    DeviceSession session{window.activityLog(), link->protocol(), commands, link->flags()};
    SettingsBlock settings;
    UpgradeParts parts{session,
                       settings,
                       window.updateRun(),
                       packets,
                       languages,
                       busy,
                       [&window](const DeviceInfo& info) { showDeviceInfo(window, info); }};
    parts.writeOptions.verify = window.actions().Action_Verify_Writes->isChecked();
    HistoryRecording recording(window.activityLog(), QStringLiteral("window upgrade"),
                               link->manager().connectedPort());
    recording.begin();
    const UpgradeOutcome outcome = runRecordedUpgrade(parts, recording);
    recording.finish(historyResult(outcome));
    return outcome;
}

}  // namespace verimant
