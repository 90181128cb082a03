#pragma once

#include <QByteArray>

#include <cstdint>

namespace verimant::bench {

// Reproducible bytes that look random, so delimiter and escape bytes turn up, and are stuffed, as
// often as in real data.
QByteArray benchData(int size, std::uint32_t seed);

}  // namespace verimant::bench
