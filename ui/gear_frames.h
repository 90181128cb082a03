#pragma once

#include <QImage>

namespace verimant {

// The busy sign's pictures: a brass gear wheel on white, 79 x 81 pixels in 16-bit colour. White is
// the see-through colour, so the gear's axle hole and the lightening holes in its web are white.
inline constexpr int kGearFrameWidth = 79;
inline constexpr int kGearFrameHeight = 81;
inline constexpr int kGearFrameCount = 4;

// Frame `frame` (0 to 3) is turned a quarter of a tooth further than the one before, so that
// cycling the four makes the gear turn without a jump.
QImage paintGearFrame(int frame);

}  // namespace verimant
