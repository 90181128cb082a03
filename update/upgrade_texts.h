#pragma once

#include <QString>

#include <cstdint>

namespace verimant {

// The pure pieces of the upgrade: what the firmware set's section is called and what the consent
// question lists as changing.

// "SOFT_SET:TRV-" + board number + ".V" + board version + "." + model name + "." + packet, the
// numbers in decimal. A missing model name leaves two dots in a row, which is how the
// configuration names sets for instruments without one.
QString firmwareSetSection(int boardNumber, int boardVersion, const QString& modelName,
                           const QString& packet);

// The changes as "KMT2 [old] --> [new]" and "EFL  [old] --> [new]" lines. Any inequality counts,
// an older set version too. The EFL line always starts with a line break, also without a KMT2 line
// before it. Empty when both versions are equal.
QString upgradeDifferenceText(std::uint16_t deviceMain, std::uint16_t setMain,
                              std::uint16_t deviceEfl, std::uint16_t setEfl);

}  // namespace verimant
