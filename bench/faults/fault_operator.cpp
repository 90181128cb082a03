#include "bench/faults/fault_operator.h"

namespace verimant::faults {

void FaultOperator::OpenLanguagePacketDialog(const UpdateConfig&, const QStringList& packets,
                                             int& slot) {
    slot = packets.isEmpty() ? kPacketChoiceCancelled : 0;
}

void FaultOperator::OpenDeviceLanguageDialog(const LanguageCatalog* catalog, int currentCode,
                                             int& slot) {
    if (!hasLanguageChoice(catalog, currentCode)) {
        slot = kDeviceLanguageCancelled;
        return;
    }
    const OfferedLanguages offered = offeredLanguages(*catalog, currentCode);
    slot = languageChoiceResult(offered, int(offered.codes.indexOf(kChosenLanguageCode)));
}

void FaultOperator::clear() {
    errors.clear();
    notes.clear();
}

QString upgradeOutcomeName(UpgradeOutcome outcome) {
    switch (outcome) {
        case UpgradeOutcome::Refused:
            return QStringLiteral("refused");
        case UpgradeOutcome::Cancelled:
            return QStringLiteral("cancelled");
        case UpgradeOutcome::Checked:
            return QStringLiteral("checked");
        case UpgradeOutcome::Declined:
            return QStringLiteral("declined");
        case UpgradeOutcome::UpToDate:
            return QStringLiteral("up to date");
        case UpgradeOutcome::Written:
            return QStringLiteral("written");
        case UpgradeOutcome::WriteFailed:
            return QStringLiteral("write failed");
    }
    return {};
}

}  // namespace verimant::faults
