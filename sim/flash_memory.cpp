#include "sim/flash_memory.h"

#include <algorithm>

namespace verimant::sim {

FlashMemory::FlashMemory(std::uint32_t base, std::uint32_t size, std::uint32_t eraseUnit)
    : base_(base),
      eraseUnit_(std::max<std::uint32_t>(eraseUnit, 1)),
      writableStart_(base),
      bytes_(qsizetype(size), char(0xFF)) {}

bool FlashMemory::contains(std::uint32_t address, std::uint32_t length) const {
    const std::uint64_t start = address;
    return start >= base_ && start + length <= std::uint64_t(base_) + size();
}

bool FlashMemory::writable(std::uint32_t address, std::uint32_t length) const {
    return contains(address, length) && address >= writableStart_;
}

QByteArray FlashMemory::read(std::uint32_t address, int count) const {
    if (count <= 0 || !contains(address, 1)) {
        return {};
    }
    const std::uint32_t offset = address - base_;
    const int available = int(std::min<std::uint64_t>(std::uint64_t(size()) - offset, count));
    return bytes_.mid(qsizetype(offset), available);
}

bool FlashMemory::write(std::uint32_t address, const QByteArray& data) {
    const auto length = std::uint32_t(data.size());
    bool erased = writable(address, length);
    if (erased) {
        const char* target = bytes_.constData() + (address - base_);
        erased = std::all_of(target, target + length, [](char c) { return c == char(0xFF); });
    }
    if (!erased) {
        refused_.push_back({address, int(length)});
        return false;
    }
    std::copy(data.begin(), data.end(), bytes_.begin() + (address - base_));
    if (stuckByte_ && *stuckByte_ >= address && *stuckByte_ - address < length) {
        bytes_[*stuckByte_ - base_] = char(0xFF);
    }
    writtenBytes_ += length;
    return true;
}

bool FlashMemory::eraseUnitAt(std::uint32_t address) {
    if (!writable(address, 1)) {
        return false;
    }
    const std::uint32_t unitStart = address - (address - base_) % eraseUnit_;
    if (unitStart < writableStart_) {
        return false;
    }
    const std::uint32_t length = std::min(eraseUnit_, base_ + size() - unitStart);
    std::fill_n(bytes_.begin() + (unitStart - base_), length, char(0xFF));
    return true;
}

void FlashMemory::program(std::uint32_t address, const QByteArray& data) {
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (contains(address + std::uint32_t(i), 1)) {
            bytes_[qsizetype(address - base_) + i] = data[i];
        }
    }
}

}  // namespace verimant::sim
