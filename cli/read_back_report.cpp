#include "cli/cli_run.h"
#include "cli/firmware_write_commands.h"

#include "device/write_verification.h"

#include <QJsonObject>

namespace verimant::cli {

namespace {

QString hexByte(std::uint8_t value) {
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(2, u'0');
}

}  // namespace

void reportReadBackFinding(CliRun& run) {
    const std::optional<ReadBackFinding> finding = lastReadBackFinding();
    if (!finding) {
        return;
    }
    run.json().set(QStringLiteral("mismatch"),
                   QJsonObject{{QStringLiteral("address"), qint64(finding->address)},
                               {QStringLiteral("written"), finding->written},
                               {QStringLiteral("read"), finding->read},
                               {QStringLiteral("differing_bytes"), qint64(finding->differing)}});
    run.dialogs().showError(
        QStringLiteral("the read-back differs from the file at 0x%1: %2 written, %3 read (%4 "
                       "byte(s) differ)")
            .arg(QString::number(finding->address, 16).toUpper().rightJustified(8, u'0'),
                 hexByte(finding->written), hexByte(finding->read))
            .arg(finding->differing));
}

}  // namespace verimant::cli
