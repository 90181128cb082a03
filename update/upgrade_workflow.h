#pragma once

#include "device/write_options.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace verimant {

struct DeviceInfo;
struct DeviceSession;
class BusyView;
class DeviceLanguageChooser;
class PacketChooser;
class SettingsBlock;
class UpdateRun;

// What becomes of an instrument that already has the set's versions.
enum class ReinstallDecision {
    Ask,        // the reinstall question decides, as in the window
    Reinstall,  // written again without the question
    LeaveAsIs,  // nothing written: the run ends as UpToDate
};

// Everything one upgrade works with. The window and verimant-cli hold these for the whole run and
// answer the two choices and the busy sign in their own way.
struct UpgradeParts {
    DeviceSession& session;
    SettingsBlock& settings;
    // Configuration, base, current record, server, temporary folder and the DeviceInfo that the
    // readout overwrites.
    UpdateRun& run;
    PacketChooser& packets;
    DeviceLanguageChooser& languages;
    BusyView& busy;
    // Shows a fresh readout (the window's information groups); may be empty.
    std::function<void(const DeviceInfo&)> showDeviceInfo;
    // How both writers go about their files (read-back verification).
    WriteOptions writeOptions{};
    // Asked before the consent question when the set would take the main firmware or the data
    // image back to an older version (downgradeText); false refuses the run. Empty: the consent
    // question alone decides, as in the window.
    std::function<bool(const QString& downgrades)> allowDowngrade{};
    // Asked, in place of the reinstall question's default, when the instrument already has the
    // set's versions. Empty: the question alone decides, as in the window.
    std::function<ReinstallDecision()> reinstall{};
};

// How a run ended. Every refusal has shown its one box before it returns.
enum class UpgradeOutcome {
    Refused,      // readout, lookup, board, packets, the packet chooser or the set stopped it
    Cancelled,    // the packet choice was cancelled
    Checked,      // the check ran to its end (checkUpgrade only)
    Declined,     // the consent question was not answered Yes
    UpToDate,     // the instrument had the set's versions and was left as it was
    Written,      // both files written and the instrument restarted
    WriteFailed,  // a switch or a write failed: "Updating Error"
};

// What the check found out: the packet chosen, the set's section and the changes it brings (empty
// when the instrument already has the set's versions).
struct UpgradeCheck {
    QString packet;
    QString section;
    QString differences;
    // The versions the instrument reported before anything was written; the run's DeviceInfo
    // holds those read after the last restart.
    std::uint16_t mainVersionBefore = 0;
    std::uint16_t eflVersionBefore = 0;
    // The closing language step was asked to write and could not.
    bool languageWriteFailed = false;
};

// The whole upgrade: readout, lookup and board checks, packet choice, the firmware set, consent,
// boot loader, main firmware, main firmware again, external flash, and the instrument's display
// language. Runs on the GUI thread; its waits keep the event loop running.
UpgradeOutcome runUpgradeWorkflow(UpgradeParts& parts, UpgradeCheck* check = nullptr);

// The same up to the list of changes, without consent and without writing anything into the
// instrument (not even a repair of a damaged settings copy): Checked, with `check` filled, when
// the firmware set is loaded.
UpgradeOutcome checkUpgrade(UpgradeParts& parts, UpgradeCheck& check);

}  // namespace verimant
