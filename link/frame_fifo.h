#pragma once

#include <QByteArray>

#include <cstdint>
#include <mutex>
#include <vector>

namespace verimant {

// Bounded queue of received frames. put, pop, clear and count take the queue's own lock; peek does
// not, because its caller holds the protocol lock (which the reader thread also takes to route).
class FrameFifo {
public:
    static constexpr int kSlotSize = 1000;

    // Capacities below 3 are refused ("Слишком маленький буфер").
    explicit FrameFifo(int capacity);

    // Stores a copy when 0 < length < 1000 and there is room; a full queue keeps what it holds.
    bool put(const std::uint8_t* data, int length);
    // The oldest record, or an empty array when the queue is empty.
    QByteArray peek() const;
    bool pop();
    void clear();

    // Takes the queue's lock, so it can be asked from outside the protocol lock.
    int count() const;
    int capacity() const { return capacity_; }

private:
    struct Slot {
        std::uint16_t length = 0;
        std::uint8_t data[kSlotSize];
    };
    std::vector<Slot> slots_;
    std::uint16_t head_ = 0;
    std::uint16_t tail_ = 0;
    std::uint16_t count_ = 0;
    std::uint16_t capacity_ = 0;
    mutable std::mutex lock_;
};

}  // namespace verimant
