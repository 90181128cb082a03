#include "sim/sim_faults.h"

#include "link/frame_codec.h"

#include <vector>

namespace verimant::sim {

bool FaultDice::roll(double share) {
    if (share <= 0.0) {
        return false;
    }
    return std::uniform_real_distribution<double>(0.0, 1.0)(engine_) < share;
}

std::size_t FaultDice::pick(std::size_t count) {
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(engine_);
}

bool isEraseRequestAt(const QByteArray& body, long long address) {
    constexpr int kPayload = 4;
    if (address < 0 || body.size() < kPayload + 6) {
        return false;
    }
    const auto group = std::uint8_t(body[kPayload]);
    const auto command = std::uint8_t(body[kPayload + 1]);
    const bool erase = (group == 0x02 && command == 0x05) ||
                       (group == 0x03 && (command == 0x05 || command == 0x07));
    std::uint32_t requested = 0;
    for (int i = 3; i >= 0; --i) {
        requested = requested << 8 | std::uint8_t(body[kPayload + 2 + i]);
    }
    return erase && requested == std::uint64_t(address);
}

QByteArray corruptEncodedFrame(const QByteArray& frame, FaultDice& dice) {
    const auto plainAfterFlip = [](std::uint8_t byte) {
        const auto flipped = std::uint8_t(byte ^ 0x01);
        return byte != kFrameDelimiter && byte != kFrameEscape && flipped != kFrameDelimiter &&
               flipped != kFrameEscape;
    };
    std::vector<qsizetype> candidates;
    for (qsizetype i = 1; i + 1 < frame.size(); ++i) {
        const bool escaped = std::uint8_t(frame[i - 1]) == kFrameEscape;
        if (!escaped && plainAfterFlip(std::uint8_t(frame[i]))) {
            candidates.push_back(i);
        }
    }
    if (candidates.empty()) {
        return frame;
    }
    QByteArray damaged = frame;
    const qsizetype at = candidates[dice.pick(candidates.size())];
    damaged[at] = char(damaged[at] ^ 0x01);
    return damaged;
}

}  // namespace verimant::sim
