#include "link/settings_block.h"

#include "base/file_helpers.h"
#include "link/device_commands.h"

#include <QtEndian>

#include <algorithm>

namespace verimant {

namespace {

constexpr int kPieceSize = 16;
constexpr int kValuesPerPiece = kPieceSize / 4;
constexpr int kPieceCount = SettingsBlock::kValueCount / kValuesPerPiece;
constexpr int kEraseSettleMs = 100;
constexpr std::int32_t kErasedValue = std::int32_t(0xFFFFFFFF);
constexpr std::int32_t kUnlimited = 2147483647;

std::uint32_t pieceAddress(int copy, int piece) {
    return SettingsBlock::kCopyAddress[copy] + std::uint32_t(kPieceSize * piece);
}

bool inBlock(int index) {
    return index >= 0 && index < SettingsBlock::kValueCount;
}

const SettingLimit* limitFor(int index) {
    const auto found =
        std::find_if(SettingLimits.begin(), SettingLimits.end(),
                     [index](const SettingLimit& limit) { return limit.index == index; });
    return found == SettingLimits.end() ? nullptr : &*found;
}

}  // namespace

const std::array<SettingLimit, 30> SettingLimits = {{
    {0, 0, kUnlimited, 258},
    {1, 0, kUnlimited, 0},
    {2, 0, 2, 1},
    {3, 0, 1, 1},
    {4, 0, 3, 2},
    {5, 0, 1, 1},
    {6, 0, 255, 0},
    {7, 0, kUnlimited, 0},
    {10, 0, 2, 0},
    {11, 0, 18, 4},
    {12, 0, 15, 0},
    {13, 0, 3, 2},
    {14, 0, 7, 4},
    {15, 0, 1, 0},
    {16, 0, 1, 0},
    {17, 0, 1, 1},
    {18, 0, 1, 1},
    {19, 0, 1, 0},
    {20, 1, 999, 100},
    {27, 0, 9999, 0},
    {21, 1, 0, 0},
    {22, 1, 0, 0},
    {23, 1, 0, 0},
    {24, 0, 9999, 0},
    {25, 1, 0, 0},
    {26, 0, 1, 1},
    {28, 0, 1, 0},
    {29, 0, 1, 0},
    {50, 0, kUnlimited, 0},
    {61, -100, 100, 1},
}};

std::uint32_t settingsCheckValue(const SettingsBlock::Values& values) {
    std::uint32_t sum = 0xFFFFFFFF;
    for (int i = 0; i < SettingsBlock::kCheckIndex; ++i) {
        sum += std::uint32_t(values[i]);
    }
    return sum;
}

bool SettingsBlock::isValid() const {
    return std::uint32_t(values_[kCheckIndex]) == settingsCheckValue(values_);
}

void SettingsBlock::fillErased() {
    values_.fill(kErasedValue);
}

void SettingsBlock::seal() {
    values_[kCheckIndex] = std::int32_t(settingsCheckValue(values_));
}

bool SettingsBlock::readCopy(DeviceCommands& commands, int copy) {
    fillErased();
    for (int piece = 0; piece < kPieceCount; ++piece) {
        std::uint8_t bytes[kPieceSize];
        if (commands.readEflash(pieceAddress(copy, piece), bytes, kPieceSize, true) != kPieceSize) {
            ++failures_;
            return false;
        }
        for (int k = 0; k < kValuesPerPiece; ++k) {
            values_[piece * kValuesPerPiece + k] = qFromLittleEndian<std::int32_t>(bytes + 4 * k);
        }
    }
    return true;
}

bool SettingsBlock::writeCopy(DeviceCommands& commands, int copy) {
    // The erase is not checked: a failed erase shows in the writes that follow.
    commands.eraseEflashSector4K(kCopyAddress[copy], true);
    waitMs(kEraseSettleMs);
    for (int piece = 0; piece < kPieceCount; ++piece) {
        std::uint8_t bytes[kPieceSize];
        for (int k = 0; k < kValuesPerPiece; ++k) {
            qToLittleEndian(values_[piece * kValuesPerPiece + k], bytes + 4 * k);
        }
        if (!commands.writeEflash(pieceAddress(copy, piece), bytes, kPieceSize, true)) {
            ++failures_;
            return false;
        }
    }
    return true;
}

SettingsBlock::CopyState SettingsBlock::readCopyState(DeviceCommands& commands, int copy) {
    if (!readCopy(commands, copy)) {
        return CopyState::Unread;
    }
    return isValid() ? CopyState::Valid : CopyState::Damaged;
}

void SettingsBlock::load(DeviceCommands& commands) {
    loadedValid_ = false;
    const CopyState first = readCopyState(commands, 0);
    if (first == CopyState::Valid) {
        loadedValid_ = true;
        return;
    }
    const CopyState second = readCopyState(commands, 1);
    if (second == CopyState::Valid) {
        loadedValid_ = true;
        // A copy that could not be read may be the newer one; only a copy seen damaged is
        // rewritten.
        if (first == CopyState::Damaged) {
            writeCopy(commands, 0);
        }
        return;
    }
    if (first != CopyState::Damaged || second != CopyState::Damaged) {
        // A lost answer is no evidence of damage: erasing now could destroy two good copies.
        return;
    }
    // Both damaged: the erased pattern goes to both copies unsealed, so the instrument falls back
    // to its own defaults and the next load still sees them as damaged.
    fillErased();
    writeCopy(commands, 0);
    writeCopy(commands, 1);
}

std::int32_t SettingsBlock::get(int index) const {
    if (!inBlock(index)) {
        return 0;
    }
    const std::int32_t value = values_[index];
    const SettingLimit* limit = limitFor(index);
    if (limit != nullptr && limit->minimum < limit->maximum &&
        (value < limit->minimum || value > limit->maximum)) {
        return limit->defaultValue;
    }
    return value;
}

void SettingsBlock::set(DeviceCommands& commands, int index, std::int32_t value) {
    if (!inBlock(index)) {
        return;
    }
    if (!loadedValid_) {
        // Sealing whatever a failed or damaged load left would hand the instrument a "valid"
        // block of garbage; the store counts as failed instead.
        ++failures_;
        return;
    }
    const SettingLimit* limit = limitFor(index);
    if (limit != nullptr && limit->minimum <= limit->maximum) {
        value = std::clamp(value, limit->minimum, limit->maximum);
    }
    values_[index] = value;
    values_[kCounterIndex] = std::int32_t(std::uint32_t(values_[kCounterIndex]) + 1);
    seal();
    // Copy 1 still holds the previous block while copy 0 is rewritten; it must stay so when
    // copy 0 could not be written, or no valid copy would be left.
    if (writeCopy(commands, 0)) {
        writeCopy(commands, 1);
    }
}

}  // namespace verimant
