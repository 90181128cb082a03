#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>

namespace verimant::sim {

// The instrument keeps its settings twice, at the start of the last two 4 KB sectors below 8 MB
// of its external flash: 62 values, a save counter and a check value.
inline constexpr std::uint32_t kSettingsCopyAddress[2] = {0x7FE000, 0x7FF000};
inline constexpr int kSettingsValueCount = 64;
inline constexpr int kSettingsBlockSize = kSettingsValueCount * 4;

using SettingsValues = std::array<std::int32_t, kSettingsValueCount>;

// Values as the factory leaves them, with the given display language, counter 0, check value set.
SettingsValues factorySettings(std::int32_t language);
// Sets value 63 to 0xFFFFFFFF plus the sum of values 0..62.
void sealSettings(SettingsValues& values);
bool settingsValid(const SettingsValues& values);

QByteArray settingsBytes(const SettingsValues& values);
// Reads the first 256 bytes (little-endian); missing bytes read as erased.
SettingsValues settingsFromBytes(const QByteArray& bytes);

}  // namespace verimant::sim
