#pragma once

#include "update/upgrade_workflow.h"

namespace verimant {

class BusyView;
class DeviceLanguageChooser;
class MainWindow;
class PacketChooser;

// Hands the upgrade button the workflow as the window runs it: on the window's device link and
// update run, with the language-packet window, the device-language window and the busy sign, and
// the readout shown in the information groups. The small windows must live as long as the main
// window.
void connectUpgradeWorkflow(MainWindow& window, PacketChooser& packets,
                            DeviceLanguageChooser& languages, BusyView& busy);

// One run of the workflow on the window's link; Refused without a link.
UpgradeOutcome runWindowUpgrade(MainWindow& window, PacketChooser& packets,
                                DeviceLanguageChooser& languages, BusyView& busy);

}  // namespace verimant
