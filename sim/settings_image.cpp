#include "sim/settings_image.h"

#include <QtEndian>

#include <utility>

namespace verimant::sim {

namespace {

constexpr std::pair<int, std::int32_t> kFactoryValues[] = {
    {0, 258}, {2, 1},  {3, 1},  {4, 2},    {5, 1},  {11, 4}, {13, 2},
    {14, 4},  {17, 1}, {18, 1}, {20, 100}, {26, 1}, {61, 1},
};

std::uint32_t checkValue(const SettingsValues& values) {
    std::uint32_t sum = 0xFFFFFFFF;
    for (int i = 0; i < kSettingsValueCount - 1; ++i) {
        sum += std::uint32_t(values[i]);
    }
    return sum;
}

}  // namespace

SettingsValues factorySettings(std::int32_t language) {
    SettingsValues values{};
    for (const auto& [index, value] : kFactoryValues) {
        values[index] = value;
    }
    values[6] = language;
    sealSettings(values);
    return values;
}

void sealSettings(SettingsValues& values) {
    values[kSettingsValueCount - 1] = std::int32_t(checkValue(values));
}

bool settingsValid(const SettingsValues& values) {
    return std::uint32_t(values[kSettingsValueCount - 1]) == checkValue(values);
}

QByteArray settingsBytes(const SettingsValues& values) {
    QByteArray bytes(kSettingsBlockSize, '\0');
    for (int i = 0; i < kSettingsValueCount; ++i) {
        qToLittleEndian(values[i], bytes.data() + 4 * i);
    }
    return bytes;
}

SettingsValues settingsFromBytes(const QByteArray& bytes) {
    QByteArray padded = bytes.left(kSettingsBlockSize);
    padded.append(QByteArray(kSettingsBlockSize - padded.size(), char(0xFF)));
    SettingsValues values{};
    for (int i = 0; i < kSettingsValueCount; ++i) {
        values[i] = qFromLittleEndian<std::int32_t>(padded.constData() + 4 * i);
    }
    return values;
}

}  // namespace verimant::sim
