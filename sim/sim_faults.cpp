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
