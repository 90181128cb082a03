#include "link/frame_codec.h"

namespace verimant {

std::uint16_t frameChecksum(const std::uint8_t* bytes, int length) {
    std::uint16_t sum = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        sum = static_cast<std::uint16_t>(sum + (bytes[i] ^ 0x5A) + 1);
    }
    return sum;
}

std::uint16_t frameChecksum(const QByteArray& bytes) {
    return frameChecksum(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                         int(bytes.size()));
}

std::optional<QByteArray> encodeFrame(const QByteArray& body) {
    const std::uint16_t sum = frameChecksum(body);
    QByteArray withSum = body;
    withSum.append(char(sum & 0xFF));
    withSum.append(char(sum >> 8));

    QByteArray out;
    out.reserve(kMaxEncodedFrame + 1);
    out.append(char(kFrameDelimiter));
    for (char c : withSum) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte == kFrameDelimiter) {
            out.append(char(kFrameEscape));
            out.append(char(kEscapedDelimiter));
        } else if (byte == kFrameEscape) {
            out.append(char(kFrameEscape));
            out.append(char(kEscapedEscape));
        } else {
            out.append(char(byte));
        }
        // Room must stay for the closing delimiter.
        if (out.size() > kMaxEncodedFrame - 1) {
            return std::nullopt;
        }
    }
    out.append(char(kFrameDelimiter));
    return out;
}

void FrameDecoder::startFrame() {
    count_ = 0;
    checksum_ = 0xFFFF;
    state_ = State::InFrame;
}

void FrameDecoder::store(std::uint8_t byte) {
    area_[count_++] = byte;
    // The sum trails by two bytes: when the closing delimiter comes, the last two are the checksum.
    if (count_ >= 3) {
        checksum_ = static_cast<std::uint16_t>(checksum_ + (area_[count_ - 3] ^ 0x5A) + 1);
    }
}

bool FrameDecoder::completeFrame() {
    if (count_ >= 3 && area_[count_ - 2] == (checksum_ & 0xFF) &&
        area_[count_ - 1] == (checksum_ >> 8)) {
        count_ -= 2;
        frameReady_ = true;
        state_ = State::WaitingForStart;
        return true;
    }
    // A corrupted frame's closing delimiter opens the next frame, so nothing good is lost.
    startFrame();
    return false;
}

bool FrameDecoder::feed(std::uint8_t byte) {
    if (frameReady_) {
        frameReady_ = false;
        count_ = 0;
        state_ = State::WaitingForStart;
    }
    switch (state_) {
        case State::WaitingForStart:
            if (byte == kFrameDelimiter) {
                startFrame();
            }
            return false;
        case State::InFrame:
            if (byte == kFrameDelimiter) {
                return completeFrame();
            }
            if (count_ >= kMaxDecodedBody) {
                state_ = State::WaitingForStart;
            } else if (byte == kFrameEscape) {
                state_ = State::AfterEscape;
            } else {
                store(byte);
            }
            return false;
        case State::AfterEscape:
            state_ = State::InFrame;
            if (byte == kEscapedDelimiter) {
                store(kFrameDelimiter);
            } else if (byte == kEscapedEscape) {
                store(kFrameEscape);
            } else if (byte == kFrameDelimiter) {
                startFrame();
            } else {
                state_ = State::WaitingForStart;
            }
            return false;
    }
    return false;
}

QByteArray FrameDecoder::frame() const {
    return frameReady_ ? QByteArray(reinterpret_cast<const char*>(area_.data()), count_)
                       : QByteArray();
}

}  // namespace verimant
