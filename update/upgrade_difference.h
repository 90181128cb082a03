#pragma once

#include <QString>

#include <cstdint>

namespace verimant {

// The changes as "KMT2 [old] --> [new]" and "EFL  [old] --> [new]" lines. Any inequality counts,
// an older set version too. The EFL line always starts with a line break, also without a KMT2 line
// before it. Empty when both versions are equal.
QString upgradeDifferenceText(std::uint16_t deviceMain, std::uint16_t setMain,
                              std::uint16_t deviceEfl, std::uint16_t setEfl);

}  // namespace verimant
