#include "bench/bench_data.h"

namespace verimant::bench {

QByteArray benchData(int size, std::uint32_t seed) {
    QByteArray bytes(size, '\0');
    std::uint32_t state = seed != 0 ? seed : 1;
    for (int i = 0; i < size; ++i) {
        // xorshift32
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

}  // namespace verimant::bench
