#pragma once

#include "base/user_dialogs.h"
#include "update/busy_view.h"
#include "update/device_language_chooser.h"
#include "update/packet_chooser.h"
#include "update/upgrade_workflow.h"

#include <QStringList>

namespace verimant::faults {

// The display language every fault run sets: Russian, code 0 of the demo catalogue. A fixed code
// rather than "another one", so that a rerun after a cut asks for the same language again.
inline constexpr int kChosenLanguageCode = 0;

// The operator of every fault run: the first packet, Yes to every question, Russian as the
// instrument's display language. Every box is kept for the verdict instead of being shown.
class FaultOperator final : public UserDialogs,
                            public PacketChooser,
                            public DeviceLanguageChooser,
                            public BusyView {
public:
    void showError(const QString& text) override { errors << text; }
    // The one warning of an upgrade says the instrument waits in its boot loader; the upgrade
    // goes on from there, so it is no failure.
    void showWarning(const QString& text) override { notes << text; }
    void showInformation(const QString& text) override { notes << text; }
    bool askYesNo(const QString&, const QString&) override { return true; }
    bool askText(const QString&, const QString&, QString&) override { return false; }
    bool chooseFileToOpen(QString&) override { return false; }
    bool chooseFileToSave(QString&) override { return false; }

    void OpenLanguagePacketDialog(const UpdateConfig& config, const QStringList& packets,
                                  int& slot) override;
    void OpenDeviceLanguageDialog(const LanguageCatalog* catalog, int currentCode,
                                  int& slot) override;
    void ShowBusy(int) override {}
    void HideBusy() override {}

    void clear();

    QStringList errors;  // error boxes
    QStringList notes;   // warning and information boxes
};

// How one upgrade ended, as the operator saw it.
struct RunOutcome {
    UpgradeOutcome upgrade = UpgradeOutcome::Refused;
    // Error boxes of the run: a language that could not be set shows one after the upgrade itself
    // has been reported written.
    QStringList errors;

    bool success() const { return upgrade == UpgradeOutcome::Written && errors.isEmpty(); }
};

QString upgradeOutcomeName(UpgradeOutcome outcome);

}  // namespace verimant::faults
