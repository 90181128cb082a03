#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <span>

namespace verimant {

// Reads one line of a firmware record file at a time (Intel HEX with 32-bit linear addressing,
// narrowed to what the instrument's boot loader accepts). The first failed check latches: from then
// on every call does nothing and reports failure, so a caller that keeps going neither touches the
// image nor reports a second error. The parser shows nothing itself; errorMessage() gives the text
// of the box that the image build shows.
class HexRecordParser {
public:
    // Marker + LENGTH + OFFSET + TYPE + checksum, and the same with 32 data bytes.
    static constexpr int kMinLineLength = 11;
    static constexpr int kMaxLineLength = 75;
    static constexpr int kMaxDataBytes = 32;
    static constexpr int kMaxRecordBytes = kMaxDataBytes + 5;

    static constexpr std::uint8_t kTypeData = 0x00;
    static constexpr std::uint8_t kTypeEnd = 0x01;
    static constexpr std::uint8_t kTypeAddress = 0x04;
    static constexpr std::uint8_t kTypeStart = 0x05;

    void reset();

    // Counts the line and checks it. 1: a well-formed record, its bytes available below;
    // 0: a check failed (now latched) or the latch was already set.
    int parseLine(const QString& line);

    // 1: the current record is of this type and passes its checks (its effect applied);
    // -1: another type; 0: a check failed (now latched), the latch was already set, or there is
    // no current record.
    int interpretAsData();
    int interpretAsAddress();
    int interpretAsStart();
    int interpretAsEnd();

    // Copies the data bytes of the current data record; false (nothing copied) when there is no
    // current data record or `destination` is shorter than dataLength().
    bool copyData(std::span<std::uint8_t> destination) const;

    bool failed() const { return latched_; }
    int lineNumber() const { return lineNumber_; }
    const QString& lastLine() const { return lastLine_; }
    // The failed check's own text, empty while nothing failed.
    const QString& errorText() const { return errorText_; }
    // The box text for `text` at the current line: header, line number with the line, then `text`.
    QString messageFor(const QString& text) const;
    // The box text of the latched error.
    QString errorMessage() const { return messageFor(errorText_); }

    int recordByteCount() const { return recordByteCount_; }
    std::uint8_t recordType() const { return recordByteCount_ > 3 ? bytes_[3] : 0; }
    std::uint32_t baseAddress() const { return baseAddress_; }
    std::uint32_t dataAddress() const { return dataAddress_; }
    int dataLength() const { return dataLength_; }
    std::uint32_t startAddress() const { return startAddress_; }

private:
    int fail(const QString& text);
    bool hasRecord() const { return !latched_ && recordByteCount_ >= 5; }
    int lengthField() const { return bytes_[0]; }
    int offsetField() const { return bytes_[1] << 8 | bytes_[2]; }
    const std::uint8_t* dataBytes() const { return bytes_.data() + 4; }

    int lineNumber_ = 0;
    QString lastLine_;
    std::array<std::uint8_t, kMaxRecordBytes> bytes_{};
    int recordByteCount_ = 0;
    std::uint32_t baseAddress_ = 0;
    std::uint32_t dataAddress_ = 0;
    int dataLength_ = 0;
    bool haveDataRecord_ = false;
    std::uint32_t startAddress_ = 0;
    bool latched_ = false;
    QString errorText_;
};

}  // namespace verimant
