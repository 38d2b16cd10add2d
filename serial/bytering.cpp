#include "serial/bytering.h"

#include <algorithm>
#include <cstring>

namespace {

// The first storage a queue takes: more than a radio's replies, little beside a port.
constexpr int64_t kFirstAllocation = 4096;

}  // namespace

ByteRing::ByteRing(int64_t capacity) : capacity_(std::max<int64_t>(capacity, 1)) {}

void ByteRing::reserve(int64_t needed) {
    if (needed <= allocated_) return;
    int64_t grown = std::max(allocated_, kFirstAllocation);
    while (grown < needed) grown *= 2;
    grown = std::min(grown, capacity_);
    // Not zero-filled: every byte is written before it is read.
    auto bytes = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(grown));
    const int64_t first = std::min(size_, allocated_ - head_);
    if (first > 0) std::memcpy(bytes.get(), bytes_.get() + head_, static_cast<size_t>(first));
    if (size_ > first) {
        std::memcpy(bytes.get() + first, bytes_.get(), static_cast<size_t>(size_ - first));
    }
    bytes_ = std::move(bytes);
    allocated_ = grown;
    head_ = 0;
}

int64_t ByteRing::append(const uint8_t* data, int64_t n) {
    const int64_t count = std::clamp<int64_t>(n, 0, freeSpace());
    if (count == 0) return 0;
    reserve(size_ + count);
    int64_t tail = (head_ + size_) % allocated_;
    int64_t done = 0;
    while (done < count) {
        const int64_t piece = std::min(count - done, allocated_ - tail);
        std::memcpy(bytes_.get() + tail, data + done, static_cast<size_t>(piece));
        done += piece;
        tail = (tail + piece) % allocated_;
    }
    size_ += count;
    return count;
}

int64_t ByteRing::take(uint8_t* out, int64_t n) {
    const int64_t count = std::clamp<int64_t>(n, 0, size_);
    int64_t done = 0;
    while (done < count) {
        const int64_t piece = std::min(count - done, allocated_ - head_);
        std::memcpy(out + done, bytes_.get() + head_, static_cast<size_t>(piece));
        done += piece;
        head_ = (head_ + piece) % allocated_;
    }
    size_ -= count;
    return count;
}

void ByteRing::clear() {
    head_ = 0;
    size_ = 0;
}
