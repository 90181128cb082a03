#include "update/serial_number_base.h"

#include "base/file_helpers.h"
#include "platform/cp1251.h"
#include "update/number_text.h"

#include <QStringList>

#include <algorithm>
#include <cstring>

namespace verimant {

namespace {

constexpr qsizetype kKeyLength = 8;
constexpr int kRecordFields = 16;
constexpr int kLanguageSetField = 7;
constexpr int kFirstExtraField = 8;

// The catalogue's serial keys may be typed with Cyrillic letters that look like Latin digits.
std::uint32_t recordId(const QString& field) {
    if (field.size() > kKeyLength) {
        return 0;
    }
    std::uint32_t id = 0;
    for (const QChar c : field) {
        const std::uint8_t digit = hexDigitValue(c);
        if (digit > 15) {
            return 0;
        }
        id = (id << 4) | digit;
    }
    return id;
}

std::int32_t recordNumber(const QString& field) {
    return parseDecimal32(field.trimmed()).value_or(0);
}

// The 8-bit fields keep the low byte of whatever number stands there.
std::uint8_t recordByte(const QString& field) {
    return static_cast<std::uint8_t>(recordNumber(field) & 0xFF);
}

}  // namespace

bool parseInstrumentRecord(QByteArrayView text, InstrumentRecord& record) {
    record = InstrumentRecord{};
    const qsizetype end = std::find_if(text.begin(), text.end(),
                                       [](char c) { return c == '\r' || c == '\n' || c == '\0'; }) -
                          text.begin();
    QStringList fields;
    splitText(decodeCp1251(text.first(end).toByteArray()), u';', fields);
    if (fields.size() < kRecordFields) {
        return false;
    }
    record.id = recordId(fields[0]);
    record.boardNumber = recordNumber(fields[2]);
    record.boardVersion = recordByte(fields[3]);
    record.assembling1 = recordByte(fields[4]);
    record.assembling2 = recordByte(fields[5]);
    record.number = recordNumber(fields[6]);
    record.languageSet = fields[kLanguageSetField];
    for (std::size_t i = 0; i < record.extra.size(); ++i) {
        record.extra[i] = recordNumber(fields[kFirstExtraField + static_cast<int>(i)]);
    }
    return true;
}

QByteArray serialSearchKey(const QString& serialDigits) {
    const std::uint32_t id = parseHex32(serialDigits).value_or(0);
    if (id == 0xFFFFFFFFu) {
        return QByteArrayLiteral("********");
    }
    return QByteArray::number(id, 16).toUpper().rightJustified(kKeyLength, '0');
}

void SerialNumberBase::loadBase(const QString& localPath) {
    WholeFile file = readWholeFile(localPath, false);
    loadBytes(file.ok && file.data ? std::move(*file.data) : QByteArray());
}

void SerialNumberBase::loadBytes(QByteArray bytes) {
    image_ = std::move(bytes);
    const qsizetype blocks = image_.size() / kBlockSize;
    recordCount_ = blocks > kFirstRecordBlock ? static_cast<int>(blocks - kFirstRecordBlock) : 0;
}

int SerialNumberBase::findSerial(const QString& serialDigits) const {
    const QByteArray key = serialSearchKey(serialDigits);
    const int lastBlock = std::min(recordCount_ + kFirstRecordBlock - 1, kLastSearchedBlock);
    const char* data = image_.constData();
    for (int block = kFirstRecordBlock; block <= lastBlock; ++block) {
        const char* start = data + static_cast<qsizetype>(block) * kBlockSize;
        if (std::memcmp(start, key.constData(), kKeyLength) == 0 && start[kKeyLength] == ';') {
            return block;
        }
    }
    return 0;
}

bool SerialNumberBase::readRecord(int index, InstrumentRecord& record) const {
    if (index < kFirstRecordBlock || index >= recordCount_ + kFirstRecordBlock) {
        record = InstrumentRecord{};
        return false;
    }
    const QByteArrayView block(image_.constData() + static_cast<qsizetype>(index) * kBlockSize,
                               kBlockSize);
    return parseInstrumentRecord(block, record);
}

}  // namespace verimant
