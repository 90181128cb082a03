#include "device/instrument_identity.h"

#include "base/activity_log.h"
#include "base/ui_language.h"
#include "base/user_dialogs.h"
#include "device/device_info.h"
#include "device/device_session.h"
#include "device/device_text_forms.h"
#include "link/device_commands.h"
#include "link/device_protocol.h"

namespace verimant {

namespace {

bool sameSerial(const BoardRecord& a, const BoardRecord& b) {
    for (int digit = 0; digit < BoardRecord::kSerialDigitCount; ++digit) {
        if (a.serialDigit(digit) != b.serialDigit(digit)) {
            return false;
        }
    }
    return true;
}

QString portText(DeviceSession& session) {
    return QStringLiteral("COM ") + QString::number(session.protocol.portNumber());
}

void reportUnread(DeviceSession& session) {
    const QString port = portText(session);
    session.log.AddErrorLine(
        QStringLiteral("ERROR : ") + port + QStringLiteral(" - прибор не опознан, запись отменена"),
        0);
    userDialogs().showError(
        PickText(QStringLiteral("Прибор на ") + port +
                     QStringLiteral(" не отвечает на запрос номера.\nЗапись отменена."),
                 QStringLiteral("The instrument on ") + port +
                     QStringLiteral(" does not tell its serial number.\nNothing was written.")));
}

void reportOther(DeviceSession& session, const InstrumentIdentity& expected,
                 const InstrumentIdentity& found) {
    const QString port = portText(session);
    const QString wanted = serialText(expected.boardRecord);
    const QString other = serialText(found.boardRecord);
    session.log.AddErrorLine(
        QStringLiteral("ERROR : ") + port + QStringLiteral(" - другой прибор: S/N ") + other +
            QStringLiteral(" UID ") + uidText(found.uid) + QStringLiteral(", ожидался S/N ") +
            wanted + QStringLiteral(" UID ") + uidText(expected.uid),
        0);
    // Two instruments given one serial number differ only in their UID, which the box then names.
    const bool sameNumber = sameSerial(expected.boardRecord, found.boardRecord);
    const QString russianDetail = sameNumber ? QStringLiteral(", другой UID ") + uidText(found.uid)
                                             : QStringLiteral(", ожидался SN=") + wanted;
    const QString englishDetail = sameNumber ? QStringLiteral(", another UID ") + uidText(found.uid)
                                             : QStringLiteral(", expected SN=") + wanted;
    userDialogs().showError(
        PickText(QStringLiteral("На ") + port + QStringLiteral(" отвечает другой прибор (SN=") +
                     other + russianDetail + QStringLiteral(").\nЗапись отменена."),
                 QStringLiteral("Another instrument answers on ") + port + QStringLiteral(" (SN=") +
                     other + englishDetail + QStringLiteral(").\nNothing was written.")));
}

}  // namespace

bool InstrumentIdentity::sameInstrumentAs(const InstrumentIdentity& other) const {
    return uid == other.uid && sameSerial(boardRecord, other.boardRecord);
}

InstrumentIdentity identityOf(const DeviceInfo& info) {
    return InstrumentIdentity{info.boardRecord, info.uid};
}

bool readBoardRecord(DeviceSession& session, BoardRecord& record) {
    if (!session.commands.readPlatformDescription(nullptr, false)) {
        return false;
    }
    const std::uint32_t address = session.commands.boardRecordAddress();
    return session.commands.readMemory(address, record.raw.data(), BoardRecord::kSize, true) ==
           BoardRecord::kSize;
}

std::optional<InstrumentIdentity> identifyInstrument(DeviceSession& session) {
    InstrumentIdentity identity;
    if (!readBoardRecord(session, identity.boardRecord) ||
        !session.commands.readProcessorUid(&identity.uid)) {
        reportUnread(session);
        return std::nullopt;
    }
    return identity;
}

bool confirmSameInstrument(DeviceSession& session, const InstrumentIdentity& expected) {
    const std::optional<InstrumentIdentity> found = identifyInstrument(session);
    if (!found) {
        return false;
    }
    if (!found->sameInstrumentAs(expected)) {
        reportOther(session, expected, *found);
        return false;
    }
    return true;
}

}  // namespace verimant
