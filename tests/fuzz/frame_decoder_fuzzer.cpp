// Feeds arbitrary line noise to the frame decoder and checks what it delivers: never more than
// its area holds, never a frame with a wrong checksum, and never out of step for the next frame.

#include "link/frame_codec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

const QByteArray& knownBody() {
    static const QByteArray body("\x00\x01\x00\x01\x01\x00", 6);
    return body;
}

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace verimant;
    FrameDecoder decoder;
    for (std::size_t i = 0; i < size; ++i) {
        if (!decoder.feed(data[i])) {
            continue;
        }
        const int length = decoder.frameLength();
        check(length >= 1 && length <= kMaxDecodedBody - 2);
        check(decoder.frame().size() == length);
        // The running sum must agree with the plain one over the delivered bytes; the checksum
        // bytes it was compared with still follow them in the decoder's area.
        const std::uint8_t* bytes = decoder.frameData();
        check(frameChecksum(bytes, length) == (bytes[length] | bytes[length + 1] << 8));
        // Whatever is delivered must survive a round trip through the encoder when it fits.
        const QByteArray frame = decoder.frame();
        if (const auto encoded = encodeFrame(frame)) {
            FrameDecoder again;
            int delivered = 0;
            for (const char c : *encoded) {
                if (again.feed(std::uint8_t(c))) {
                    ++delivered;
                    check(again.frame() == frame);
                }
            }
            check(delivered == 1);
        }
    }
    // Whatever came before, a frame with its own two delimiters is found.
    const QByteArray good = encodeFrame(knownBody()).value();
    QByteArray last;
    for (const char c : good + good) {
        if (decoder.feed(std::uint8_t(c))) {
            last = decoder.frame();
        }
    }
    check(last == knownBody());
    return 0;
}
