#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>

namespace verimant {

// Little-endian field access on the records the instrument sends.
std::uint16_t readLe16(const std::uint8_t* bytes);
std::uint32_t readLe32(const std::uint8_t* bytes);
void appendLe16(QByteArray& out, std::uint16_t value);
void appendLe32(QByteArray& out, std::uint32_t value);

// What the instrument says about its running program: versions are M * 256 + m, a main-firmware
// version of 0 means the boot loader is running.
struct ProgramInfo {
    static constexpr int kSize = 8;

    std::uint16_t bootVersion = 0;
    std::uint16_t mainVersion = 0;
    std::uint32_t platformDescriptionAddress = 0;  // 0: the instrument has none

    // Nothing unless exactly kSize bytes are given.
    static std::optional<ProgramInfo> fromBytes(const QByteArray& bytes);
    QByteArray toBytes() const;
};

// The processor description block in instrument memory. Kept raw because only a few fields are
// meaningful to the tool.
struct PlatformDescription {
    static constexpr int kSize = 48;

    std::array<std::uint8_t, kSize> raw{};

    // Zero-filled when fewer than kSize bytes are given; extra bytes are ignored.
    static PlatformDescription fromBytes(const QByteArray& bytes);
    QByteArray toBytes() const;

    std::uint16_t processorTypeCode() const { return readLe16(&raw[0]); }
    std::uint32_t boardRecordField() const { return readLe32(&raw[10]); }
    std::uint32_t mainFirmwareStartField() const { return readLe32(&raw[14]); }
    std::uint32_t checksumWordField() const { return readLe32(&raw[18]); }
};

// Board code (a board number such as 245 or 274) and the variant byte whose tens digit selects
// transfer chunk sizes and the language parameter path.
struct BoardInfo {
    static constexpr int kSize = 4;

    std::uint16_t boardCode = 0;
    std::uint8_t variant = 0;
    std::uint8_t reserved = 0;

    static std::optional<BoardInfo> fromBytes(const QByteArray& bytes);
    QByteArray toBytes() const;

    int variantTensDigit() const { return variant / 10 % 10; }
};

// One device parameter. Short answers carry only id and value; long ones the further bytes too.
struct ParameterRecord {
    static constexpr int kShortSize = 6;
    static constexpr int kSize = 22;

    std::uint16_t id = 0;
    std::uint32_t value = 0;
    std::array<std::uint8_t, 16> further{};

    QByteArray toBytes() const;
    // Overwrites the record's start with 6 or 22 bytes; false (record untouched) for other sizes.
    bool assignFrom(const QByteArray& bytes);
};

// The processor's unique identifier, in the order read.
using ProcessorUid = std::array<std::uint8_t, 12>;

}  // namespace verimant
