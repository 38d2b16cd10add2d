#include "serial/bytering.h"

#include <algorithm>
#include <cstring>

ByteRing::ByteRing(int64_t capacity)
    : bytes_(static_cast<size_t>(std::max<int64_t>(capacity, 1))) {}

int64_t ByteRing::append(const uint8_t* data, int64_t n) {
    const int64_t count = std::clamp<int64_t>(n, 0, freeSpace());
    int64_t tail = (head_ + size_) % capacity();
    int64_t done = 0;
    while (done < count) {
        const int64_t piece = std::min(count - done, capacity() - tail);
        std::memcpy(bytes_.data() + tail, data + done, static_cast<size_t>(piece));
        done += piece;
        tail = (tail + piece) % capacity();
    }
    size_ += count;
    return count;
}

int64_t ByteRing::take(uint8_t* out, int64_t n) {
    const int64_t count = std::clamp<int64_t>(n, 0, size_);
    int64_t done = 0;
    while (done < count) {
        const int64_t piece = std::min(count - done, capacity() - head_);
        std::memcpy(out + done, bytes_.data() + head_, static_cast<size_t>(piece));
        done += piece;
        head_ = (head_ + piece) % capacity();
    }
    size_ -= count;
    return count;
}

void ByteRing::clear() {
    head_ = 0;
    size_ = 0;
}
