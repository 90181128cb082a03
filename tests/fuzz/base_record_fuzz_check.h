#pragma once

#include "update/serial_number_base.h"

#include <QByteArrayView>
#include <QString>

#include <string>

namespace verimant::fuzz {

// Reads one arbitrary input as a serial-number base and as a single record, and checks what must
// hold for any file: the record count follows the size, every block whose key can be looked up is
// found at or before itself, a found record reads as its block does, a language-set name never
// holds a separator or line end, and a second reading agrees.
inline std::string checkBaseRecordInput(QByteArrayView input) {
    InstrumentRecord first;
    const bool ok = parseInstrumentRecord(input, first);
    InstrumentRecord again;
    if (parseInstrumentRecord(input, again) != ok || again.id != first.id ||
        again.languageSet != first.languageSet || again.extra != first.extra) {
        return "a second reading differs";
    }
    for (const QChar c : first.languageSet) {
        if (c == u';' || c == u'\r' || c == u'\n' || c == QChar::Null) {
            return "a separator inside the language-set name";
        }
    }
    if (!ok && (first.id != 0 || !first.languageSet.isEmpty())) {
        return "a failed reading left fields filled";
    }

    SerialNumberBase base;
    base.loadBytes(input.toByteArray());
    const qsizetype blocks = input.size() / SerialNumberBase::kBlockSize;
    if (base.recordCount() != (blocks > 2 ? blocks - 2 : 0)) {
        return "record count does not follow the size";
    }
    for (int block = SerialNumberBase::kFirstRecordBlock; block < blocks; ++block) {
        const QByteArrayView text =
            input.sliced(block * SerialNumberBase::kBlockSize, SerialNumberBase::kBlockSize);
        const QString digits = QString::fromLatin1(text.first(8).toByteArray());
        const bool searchable = block <= SerialNumberBase::kLastSearchedBlock && text[8] == ';' &&
                                serialSearchKey(digits) == text.first(8) &&
                                digits != QLatin1String("********");
        const int found = base.findSerial(digits);
        if (searchable && (found == 0 || found > block)) {
            return "a searchable record is not found";
        }
        if (found != 0 && base.findSerial(digits) != found) {
            return "a lookup is not stable";
        }
        InstrumentRecord fromBase;
        InstrumentRecord fromText;
        if (base.readRecord(block, fromBase) != parseInstrumentRecord(text, fromText) ||
            fromBase.languageSet != fromText.languageSet) {
            return "a record reads differently from its block";
        }
    }
    return {};
}

}  // namespace verimant::fuzz
