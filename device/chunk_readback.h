#pragma once

#include <cstdint>

namespace verimant {

class DeviceCommands;
class DeviceProtocol;

// Whether the last request on the channel got an answer, even one that its command rejected: the
// answer stays at the head of the channel's queue until the next request, and a time-out leaves
// the queue empty. Only an answered but refused write is worth reading back.
bool lastRequestAnswered(const DeviceProtocol& protocol, int channelKey);

// Whether the instrument's flash already holds `length` bytes of `data` at `address`, read back
// quietly. A write whose answer was lost is sent again by the protocol, and the instrument refuses
// that repeat because the bytes are no longer erased: reading the chunk back tells a write that
// landed from one that did not. False as soon as a piece cannot be read or differs.
bool cpuFlashHolds(DeviceCommands& commands, std::uint32_t address, const std::uint8_t* data,
                   int length);
bool eflashHolds(DeviceCommands& commands, std::uint32_t address, const std::uint8_t* data,
                 int length);

}  // namespace verimant
