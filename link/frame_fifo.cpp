#include "link/frame_fifo.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace verimant {

FrameFifo::FrameFifo(int capacity) {
    if (capacity < 3) {
        throw std::invalid_argument("Слишком маленький буфер");
    }
    // The indices are 16-bit, so that is as many records as a queue can address.
    capacity = std::min(capacity, 0xFFFF);
    slots_.resize(std::size_t(capacity));
    capacity_ = std::uint16_t(capacity);
}

bool FrameFifo::put(const std::uint8_t* data, int length) {
    if (data == nullptr || length <= 0 || length >= kSlotSize) {
        return false;
    }
    std::lock_guard guard(lock_);
    if (count_ >= capacity_) {
        return false;
    }
    Slot& slot = slots_[tail_];
    std::memcpy(slot.data, data, std::size_t(length));
    slot.length = std::uint16_t(length);
    tail_ = std::uint16_t(tail_ + 1 == capacity_ ? 0 : tail_ + 1);
    ++count_;
    return true;
}

QByteArray FrameFifo::peek() const {
    if (count() == 0) {
        return {};
    }
    const Slot& slot = slots_[head_];
    return QByteArray(reinterpret_cast<const char*>(slot.data), slot.length);
}

bool FrameFifo::pop() {
    std::lock_guard guard(lock_);
    if (count_ == 0) {
        return false;
    }
    slots_[head_].length = 0;
    head_ = std::uint16_t(head_ + 1 == capacity_ ? 0 : head_ + 1);
    --count_;
    return true;
}

int FrameFifo::count() const {
    std::lock_guard guard(lock_);
    return count_;
}

void FrameFifo::clear() {
    std::lock_guard guard(lock_);
    head_ = 0;
    tail_ = 0;
    count_ = 0;
}

}  // namespace verimant
