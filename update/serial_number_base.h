#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>

namespace verimant {

// One instrument of the maker's catalogue.
struct InstrumentRecord {
    std::uint32_t id = 0;  // the serial digits read as one hexadecimal number
    std::int32_t boardNumber = 0;
    std::uint8_t boardVersion = 0;
    std::uint8_t assembling1 = 0;
    std::uint8_t assembling2 = 0;
    std::int32_t number = 0;
    QString languageSet;
    std::array<std::int32_t, 8> extra{};
};

// Fills `record` from one record's text: the bytes up to the first CR, LF or NUL (or the end of
// `text`), ';'-separated fields with empty ones dropped. Fewer than 16 fields fail; the record is
// cleared first either way.
bool parseInstrumentRecord(QByteArrayView text, InstrumentRecord& record);

// The serial-number base: 256-byte blocks, two header blocks, then one record a block, each found
// by its first nine bytes ("12345678;"). Held in memory once; lookups scan it without copying.
class SerialNumberBase {
public:
    static constexpr qsizetype kBlockSize = 256;
    static constexpr int kFirstRecordBlock = 2;
    // Records in later blocks are never found.
    static constexpr int kLastSearchedBlock = 120001;

    // Reads the whole file; a file that cannot be read (missing, too large) gives no records.
    void loadBase(const QString& localPath);
    // The same from bytes already in memory.
    void loadBytes(QByteArray bytes);

    qsizetype size() const { return image_.size(); }
    int recordCount() const { return recordCount_; }

    // The block index (2 or more) of the first record for these serial digits, or 0.
    int findSerial(const QString& serialDigits) const;
    // Fills `record` from block `index`; false for an index without a record or a record with
    // too few fields.
    bool readRecord(int index, InstrumentRecord& record) const;

private:
    QByteArray image_;
    int recordCount_ = 0;
};

// The search key of serial digits: eight upper-case hexadecimal digits, "********" for FFFFFFFF,
// "00000000" for a text that is no hexadecimal number.
QByteArray serialSearchKey(const QString& serialDigits);

}  // namespace verimant
