#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

#include "datatest/receivestore.h"

// Looks for a run of bytes in what a ChunkedBytes keeps, a bounded number of bytes per step, so
// that the window's thread serves its events between steps. Forwards it looks from `start` to
// the end, then round from the beginning; backwards at what starts before `start`, nearest
// first, then round from the end. It covers what was kept when it began: bytes appended since
// are left to the next search, bytes that leave meanwhile are skipped.
// Each byte is looked at once, whatever the needle and the data (Knuth-Morris-Pratt), so the
// time a step takes is bounded by its bytes.
class ChunkedSearch {
  public:
    enum class Direction { Forward, Backward };
    enum class State { Running, Found, NotFound };

    ChunkedSearch(const ChunkedBytes& bytes, QByteArrayView needle, Direction direction,
                  uint64_t start);

    // Looks at up to `maxBytes` more bytes.
    State step(qsizetype maxBytes);
    State state() const { return state_; }
    // Where the needle starts, once found.
    uint64_t hit() const { return hit_; }
    qsizetype needleSize() const { return pattern_.size(); }
    // Bytes looked at so far.
    uint64_t examined() const { return examined_; }

  private:
    // The bytes of a pass: those where a needle starting on one side of `start` lies.
    void beginPass(bool atOrAfterStart);
    // Each looks at up to `budget` bytes of the current pass and returns how many it did.
    qsizetype feedForward(qsizetype budget);
    qsizetype feedBackward(qsizetype budget);
    // The needle's bytes matched after one more byte.
    qsizetype matchedAfter(char byte) const;

    const ChunkedBytes& bytes_;
    QByteArray pattern_;  // the needle in the order bytes are looked at: reversed backwards
    // For each length k of the pattern's beginning, the longest of its proper beginnings that
    // also ends it.
    std::vector<qsizetype> border_;
    Direction direction_;
    uint64_t start_;
    uint64_t end_;  // the end when the search began
    bool wrapped_ = false;
    uint64_t from_ = 0;  // the current pass looks at [from_, to_)
    uint64_t to_ = 0;
    uint64_t next_ = 0;  // forwards the next byte to look at, backwards the one after it
    qsizetype matched_ = 0;
    State state_ = State::Running;
    uint64_t hit_ = 0;
    uint64_t examined_ = 0;
};
