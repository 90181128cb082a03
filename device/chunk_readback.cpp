#include "device/chunk_readback.h"

#include "device/readback_pieces.h"
#include "link/device_commands.h"
#include "link/device_protocol.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace verimant {

namespace {

// One read-back run of its own per chunk: the chunk is at most one large piece, and this rare path
// keeps no state between writes.
bool holds(DeviceCommands& commands, FlashArea area, std::uint32_t address,
           const std::uint8_t* data, int length) {
    ReadBackPieces pieces(commands, area);
    std::array<std::uint8_t, DeviceCommands::kMaxReadPiece> buffer{};
    for (int offset = 0; offset < length;) {
        const int wanted = std::min(DeviceCommands::kMaxReadPiece, length - offset);
        const int count = pieces.next(address + std::uint32_t(offset), buffer.data(), wanted);
        if (count <= 0 || std::memcmp(buffer.data(), data + offset, size_t(count)) != 0) {
            return false;
        }
        offset += count;
    }
    return true;
}

}  // namespace

bool lastRequestAnswered(const DeviceProtocol& protocol, int channelKey) {
    const ProtocolChannel* channel = protocol.channel(channelKey);
    return channel != nullptr && channel->queuedCount() > 0;
}

bool cpuFlashHolds(DeviceCommands& commands, std::uint32_t address, const std::uint8_t* data,
                   int length) {
    return holds(commands, FlashArea::Processor, address, data, length);
}

bool eflashHolds(DeviceCommands& commands, std::uint32_t address, const std::uint8_t* data,
                 int length) {
    return holds(commands, FlashArea::External, address, data, length);
}

}  // namespace verimant
