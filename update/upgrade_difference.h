#pragma once

#include <QString>

#include <cstdint>

namespace verimant {

// The changes as "KMT2 [old] --> [new]" and "EFL  [old] --> [new]" lines. Any inequality counts,
// an older set version too. The EFL line always starts with a line break, also without a KMT2 line
// before it. Empty when both versions are equal.
QString upgradeDifferenceText(std::uint16_t deviceMain, std::uint16_t setMain,
                              std::uint16_t deviceEfl, std::uint16_t setEfl);

// The parts the set would take back to an older version, as "KMT2 3.2 -> 3.1" and
// "EFL 1.6 -> 1.5" joined by ", "; empty when nothing goes back.
QString downgradeText(std::uint16_t deviceMain, std::uint16_t setMain, std::uint16_t deviceEfl,
                      std::uint16_t setEfl);

}  // namespace verimant
