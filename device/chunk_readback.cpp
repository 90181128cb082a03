#include "device/chunk_readback.h"

#include "link/device_commands.h"
#include "link/device_protocol.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace verimant {

namespace {

// Both read commands are asked for at most this much at a time.
constexpr int kReadPiece = 16;

template <typename ReadPiece>
bool holds(std::uint32_t address, const std::uint8_t* data, int length, ReadPiece readPiece) {
    std::array<std::uint8_t, kReadPiece> buffer{};
    for (int offset = 0; offset < length; offset += kReadPiece) {
        const int count = std::min(kReadPiece, length - offset);
        if (readPiece(address + std::uint32_t(offset), buffer.data(), count) != count ||
            std::memcmp(buffer.data(), data + offset, size_t(count)) != 0) {
            return false;
        }
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
    return holds(address, data, length, [&](std::uint32_t at, std::uint8_t* buffer, int count) {
        return commands.readMemory(at, buffer, count, false);
    });
}

bool eflashHolds(DeviceCommands& commands, std::uint32_t address, const std::uint8_t* data,
                 int length) {
    return holds(address, data, length, [&](std::uint32_t at, std::uint8_t* buffer, int count) {
        return commands.readEflash(at, buffer, count, false);
    });
}

}  // namespace verimant
