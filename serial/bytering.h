#pragma once

#include <cstdint>
#include <memory>

// A byte queue of fixed capacity: the oldest bytes leave first, and bytes that find it full
// are refused rather than pushing out what is already there. Its storage grows with use, by
// doubling, up to the capacity, so that a queue that never fills holds little memory.
class ByteRing {
  public:
    explicit ByteRing(int64_t capacity);

    int64_t capacity() const { return capacity_; }
    int64_t size() const { return size_; }
    int64_t freeSpace() const { return capacity_ - size_; }
    // Bytes of storage held now.
    int64_t allocated() const { return allocated_; }

    // Appends what fits; returns the count taken.
    int64_t append(const uint8_t* data, int64_t n);
    // Moves up to n of the oldest bytes into `out`; returns the count moved.
    int64_t take(uint8_t* out, int64_t n);
    void clear();

  private:
    // Makes room for `needed` bytes in all, keeping the bytes and their order.
    void reserve(int64_t needed);

    int64_t capacity_;
    std::unique_ptr<uint8_t[]> bytes_;
    int64_t allocated_ = 0;
    int64_t head_ = 0;  // index of the oldest byte
    int64_t size_ = 0;
};
