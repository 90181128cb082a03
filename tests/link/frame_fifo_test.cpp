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

TEST(FrameFifo, FullQueueKeepsWhatItHoldsInOrder) {
    FrameFifo fifo(10);
    EXPECT_TRUE(fifo.peek().isEmpty());
    EXPECT_FALSE(fifo.pop());
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(putText(fifo, "frame " + QByteArray::number(i)));
    }
    EXPECT_FALSE(putText(fifo, "eleventh"));
    EXPECT_EQ(fifo.count(), 10);
    EXPECT_EQ(fifo.peek(), "frame 0");

    EXPECT_TRUE(fifo.pop());
    EXPECT_TRUE(putText(fifo, "frame 10"));
    EXPECT_FALSE(putText(fifo, "frame 11"));
    for (int i = 1; i <= 10; ++i) {
        EXPECT_EQ(fifo.peek(), "frame " + QByteArray::number(i));
        EXPECT_TRUE(fifo.pop());
    }
    EXPECT_FALSE(fifo.pop());
    EXPECT_EQ(fifo.count(), 0);
}

TEST(FrameFifo, WrapsAroundManyTimes) {
    FrameFifo fifo(3);
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

TEST(FrameFifo, ClearEmptiesAndStaysUsable) {
    FrameFifo fifo(4);
    putText(fifo, "a");
    putText(fifo, "b");
    fifo.pop();
    fifo.clear();
    EXPECT_EQ(fifo.count(), 0);
    EXPECT_TRUE(fifo.peek().isEmpty());
    for (const char* text : {"c", "d", "e", "f"}) {
        EXPECT_TRUE(putText(fifo, text));
    }
    EXPECT_FALSE(putText(fifo, "g"));
    EXPECT_EQ(fifo.peek(), "c");
}

}  // namespace
}  // namespace verimant
