#pragma once

#include <cstdint>
#include <vector>

// A byte queue of fixed capacity: the oldest bytes leave first, and bytes that find it full
// are refused rather than pushing out what is already there.
class ByteRing {
  public:
    explicit ByteRing(int64_t capacity);

    int64_t capacity() const { return static_cast<int64_t>(bytes_.size()); }
    int64_t size() const { return size_; }
    int64_t freeSpace() const { return capacity() - size_; }

    // Appends what fits; returns the count taken.
    int64_t append(const uint8_t* data, int64_t n);
    // Moves up to n of the oldest bytes into `out`; returns the count moved.
    int64_t take(uint8_t* out, int64_t n);
    void clear();

  private:
    std::vector<uint8_t> bytes_;
    int64_t head_ = 0;  // index of the oldest byte
    int64_t size_ = 0;
};
