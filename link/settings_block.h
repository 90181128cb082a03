#pragma once

#include <array>
#include <cstdint>

namespace verimant {

class DeviceCommands;

// The range and fallback of one setting. An entry whose minimum exceeds its maximum limits
// nothing.
struct SettingLimit {
    std::uint8_t index;
    std::int32_t minimum;
    std::int32_t maximum;
    std::int32_t defaultValue;
};

// Searched in order; the first entry with an index wins. Indices without an entry are unlimited.
extern const std::array<SettingLimit, 30> SettingLimits;

// The instrument's settings as the external flash keeps them, twice, at the start of its last two
// 4 KB sectors: 62 values, a save counter and a check value (0xFFFFFFFF plus the sum of the other
// 63, wrapping). The tool holds one working copy of the 64 values.
class SettingsBlock {
public:
    static constexpr int kValueCount = 64;
    static constexpr int kCounterIndex = 62;
    static constexpr int kCheckIndex = 63;
    static constexpr std::uint32_t kCopyAddress[2] = {0x7FE000, 0x7FF000};
    using Values = std::array<std::int32_t, kValueCount>;

    // Brings the working copy up to date: copy 0 if valid, else copy 1. Only a copy that was read
    // whole and found damaged is repaired: copy 0 from a valid copy 1, or, when both were read
    // damaged, both copies with the erased pattern, which stays invalid. A copy whose read failed
    // is counted and never decides a write.
    void load(DeviceCommands& commands);
    // The working value, or the setting's default when it lies outside its limits; 0 for indices
    // outside the block. Never talks to the instrument.
    std::int32_t get(int index) const;
    // Clamps into the setting's limits, counts the save, seals the block and writes copy 0, then
    // copy 1 only when copy 0 was written. Indices outside the block change nothing. A block that
    // the last load did not find valid is neither sealed nor written; the store counts as failed.
    void set(DeviceCommands& commands, int index, std::int32_t value);

    bool isValid() const;
    // The last load took a valid copy (which set() may then store back).
    bool loadedValid() const { return loadedValid_; }
    const Values& values() const { return values_; }

    // Copies that failed to load or store since the last reset; the callers report with it.
    int settingsFailureCount() const { return failures_; }
    void resetSettingsFailureCount() { failures_ = 0; }

    // One copy, in 16-byte pieces. A failed piece is counted and ends the transfer.
    bool readCopy(DeviceCommands& commands, int copy);
    bool writeCopy(DeviceCommands& commands, int copy);

private:
    enum class CopyState { Valid, Damaged, Unread };
    CopyState readCopyState(DeviceCommands& commands, int copy);
    void fillErased();
    void seal();

    Values values_{};
    int failures_ = 0;
    bool loadedValid_ = false;
};

// The check value a block of these values must carry.
std::uint32_t settingsCheckValue(const SettingsBlock::Values& values);

}  // namespace verimant
