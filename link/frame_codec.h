#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>

namespace verimant {

inline constexpr std::uint8_t kFrameDelimiter = 0xC0;
inline constexpr std::uint8_t kFrameEscape = 0xDB;
inline constexpr std::uint8_t kEscapedDelimiter = 0xDC;
inline constexpr std::uint8_t kEscapedEscape = 0xDD;

// Longest stuffed frame, delimiters included, that the encoder sends.
inline constexpr int kMaxEncodedFrame = 549;
// Longest unstuffed body, checksum included, that the decoder holds.
inline constexpr int kMaxDecodedBody = 1100;

// Starts at 0xFFFF; each byte adds (byte XOR 0x5A) + 1, modulo 2^16.
std::uint16_t frameChecksum(const std::uint8_t* bytes, int length);
std::uint16_t frameChecksum(const QByteArray& bytes);

// Frames a body (address fields and payload): delimiter, stuffed body, stuffed checksum (low byte
// first), delimiter. Nothing when the stuffed frame would exceed kMaxEncodedFrame.
std::optional<QByteArray> encodeFrame(const QByteArray& body);

// The receiver's frame decoder, fed one byte at a time. It holds no I/O and no lock, so both the
// tool's reader thread and the simulator use it, and the fuzzer drives it directly.
class FrameDecoder {
public:
    // Returns true when `byte` completed a frame; frame() then holds its body without the
    // checksum, until the next call.
    bool feed(std::uint8_t byte);

    const std::uint8_t* frameData() const { return area_.data(); }
    int frameLength() const { return count_; }
    QByteArray frame() const;

private:
    enum class State { WaitingForStart, InFrame, AfterEscape };

    void startFrame();
    void store(std::uint8_t byte);
    bool completeFrame();

    State state_ = State::WaitingForStart;
    bool frameReady_ = false;
    int count_ = 0;
    std::uint16_t checksum_ = 0xFFFF;
    std::array<std::uint8_t, kMaxDecodedBody> area_{};
};

// Address field: bit 7 of the first byte 0, fields a (3 bits) and b (4 bits), then c (3 bits) and
// the node number (5 bits). The tool always uses a = b = c = 0.
inline QByteArray nodeAddress(int node) {
    return QByteArray{"\x00", 1} + char(node & 0x1F);
}

}  // namespace verimant
