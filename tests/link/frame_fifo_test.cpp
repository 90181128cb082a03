#include "link/frame_fifo.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace verimant {
namespace {

bool putText(FrameFifo& fifo, const QByteArray& text) {
    return fifo.put(reinterpret_cast<const std::uint8_t*>(text.constData()), int(text.size()));
}

TEST(FrameFifo, RefusesTooSmallCapacity) {
    try {
        FrameFifo fifo(2);
        FAIL() << "capacity 2 accepted";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "Слишком маленький буфер");
    }
    EXPECT_NO_THROW(FrameFifo(3));
}

TEST(FrameFifo, FullQueueKeepsWhatItHoldsInOrderAcrossWrapsAndClears) {
    FrameFifo fifo(3);
    EXPECT_TRUE(fifo.peek().isEmpty());
    EXPECT_FALSE(fifo.pop());
    int next = 0;
    int expected = 0;
    for (int round = 0; round < 50; ++round) {
        while (putText(fifo, QByteArray::number(next))) {
            ++next;
        }
        ASSERT_EQ(fifo.count(), 3);
        for (int i = 0; i < 1 + round % 3; ++i) {
            ASSERT_EQ(fifo.peek(), QByteArray::number(expected++));
            ASSERT_TRUE(fifo.pop());
        }
    }

    // Cleared in the middle of a wrap, it starts over empty.
    fifo.clear();
    EXPECT_EQ(fifo.count(), 0);
    EXPECT_TRUE(fifo.peek().isEmpty());
    EXPECT_FALSE(fifo.pop());
    for (const char* text : {"c", "d", "e"}) {
        EXPECT_TRUE(putText(fifo, text));
    }
    EXPECT_FALSE(putText(fifo, "f"));
    EXPECT_EQ(fifo.peek(), "c");
}

TEST(FrameFifo, RecordLengthLimits) {
    FrameFifo fifo(10);
    const std::vector<std::uint8_t> big(1000, 0xAB);
    EXPECT_TRUE(fifo.put(big.data(), 999));
    EXPECT_EQ(fifo.peek(), QByteArray(999, char(0xAB)));
    EXPECT_FALSE(fifo.put(big.data(), 1000));
    EXPECT_FALSE(fifo.put(big.data(), 0));
    EXPECT_FALSE(fifo.put(big.data(), -1));
    EXPECT_FALSE(fifo.put(nullptr, 5));
    EXPECT_EQ(fifo.count(), 1);
}

}  // namespace
}  // namespace verimant
