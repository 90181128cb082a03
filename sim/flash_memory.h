#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

namespace verimant::sim {

// A write the flash did not take: the bytes were not all erased, or lay outside the writable area.
struct RefusedWrite {
    std::uint32_t address = 0;
    int length = 0;
    bool operator==(const RefusedWrite&) const = default;
};

// NOR flash as the instrument's code sees it: erased bytes read 0xFF, a write only lands on erased
// bytes, and erasing works on whole units. Part of it can be write-protected (the boot loader
// keeps its own pages).
class FlashMemory {
public:
    FlashMemory() = default;
    FlashMemory(std::uint32_t base, std::uint32_t size, std::uint32_t eraseUnit);

    std::uint32_t base() const { return base_; }
    std::uint32_t size() const { return std::uint32_t(bytes_.size()); }
    std::uint32_t eraseUnit() const { return eraseUnit_; }
    const QByteArray& bytes() const { return bytes_; }

    // Addresses below this one are protected against erasing and writing.
    void setWritableStart(std::uint32_t address) { writableStart_ = address; }
    std::uint32_t writableStart() const { return writableStart_; }

    bool contains(std::uint32_t address, std::uint32_t length) const;
    // Up to count bytes from address, fewer at the end of the flash, none outside it.
    QByteArray read(std::uint32_t address, int count) const;

    // True when every byte landed. A refused write changes nothing and is recorded.
    bool write(std::uint32_t address, const QByteArray& data);
    // Erases the unit that holds address; false outside the writable area.
    bool eraseUnitAt(std::uint32_t address);
    // Factory contents, placed without the rules above.
    void program(std::uint32_t address, const QByteArray& data);
    // A worn cell: writes over this address land everywhere else and are reported as carried out,
    // while the byte itself stays erased. Nothing when no byte is stuck.
    void setStuckByte(std::optional<std::uint32_t> address) { stuckByte_ = address; }

    const std::vector<RefusedWrite>& refusedWrites() const { return refused_; }
    std::int64_t writtenBytes() const { return writtenBytes_; }

private:
    bool writable(std::uint32_t address, std::uint32_t length) const;

    std::uint32_t base_ = 0;
    std::uint32_t eraseUnit_ = 1;
    std::uint32_t writableStart_ = 0;
    QByteArray bytes_;
    std::vector<RefusedWrite> refused_;
    std::int64_t writtenBytes_ = 0;
    std::optional<std::uint32_t> stuckByte_;
};

}  // namespace verimant::sim
