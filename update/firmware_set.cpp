#include "update/firmware_set.h"

namespace verimant {

void FirmwareSet::reset() {
    kmt2 = FirmwarePart{};
    efl = FirmwarePart{};
}

QString softSetSection(std::int32_t boardNumber, int boardVersion, const QString& modelName,
                       const QString& packet) {
    return QStringLiteral("SOFT_SET:TRV-%1.V%2.%3.%4")
        .arg(boardNumber)
        .arg(boardVersion)
        .arg(modelName, packet);
}

}  // namespace verimant
