#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

#include "datatest/textcodec.h"

// An append-only run of bytes that keeps at least the newest `capacity` of them: older ones
// leave a chunk at a time. Offsets count from the first byte ever appended since the last clear,
// so they stay valid while older bytes leave.
class ChunkedBytes {
  public:
    static constexpr qsizetype ChunkSize = 64 * 1024;

    explicit ChunkedBytes(int64_t capacity);

    void append(QByteArrayView bytes);
    void clear();

    // The kept bytes are [begin(), end()).
    uint64_t begin() const { return begin_; }
    uint64_t end() const { return begin_ + size_; }
    char at(uint64_t offset) const;
    // The kept bytes of [from, to).
    QByteArray slice(uint64_t from, uint64_t to) const;
    // The kept bytes stored in one piece with `offset` (a kept one), and the offset of the first.
    std::pair<uint64_t, QByteArrayView> pieceAt(uint64_t offset) const;

  private:
    void dropFront();

    int64_t capacity_;
    std::deque<QByteArray> chunks_;  // every chunk but the last holds ChunkSize bytes
    uint64_t begin_ = 0;
    int64_t size_ = 0;
};

// What the receive view keeps of what arrived: the bytes as received and the text they are
// shown as (UTF-8, zero bytes left out), each bounded on its own, and the moments at which
// bursts arrived after a quiet spell, for time stamps. While the text is not wanted (bytes are
// shown in hexadecimal) it is not decoded; wanting it again decodes what came meanwhile.
class ReceiveStore {
  public:
    // Default capacity: the newest 16 MiB of each.
    static constexpr int64_t DefaultCapacity = 16 * 1024 * 1024;

    struct Stamp {
        uint64_t raw;   // offset of the burst's first byte
        uint64_t text;  // offset of its first text byte, once decoded
        int64_t msSinceEpoch;
    };

    explicit ReceiveStore(int64_t capacity = DefaultCapacity);

    // One read; `stamp` when it came after a quiet spell.
    void append(QByteArrayView raw, std::optional<int64_t> stamp);
    void setTextWanted(bool wanted);
    // Decodes what came while the text was not wanted.
    void bringTextUpToDate();
    // Received bytes stop being shown: a character they cut is not shown in part.
    void forgetPartialCharacter();
    // Empties it; the text then begins with the first character that begins after this.
    void clear();

    const ChunkedBytes& raw() const { return raw_; }
    // Up to date while wanted, and after bringTextUpToDate().
    const ChunkedBytes& text() const { return text_; }
    // Received bytes let go for want of room since the last clear.
    uint64_t droppedBytes() const { return raw_.begin(); }
    // The stamps of bursts still (at least partly) kept, oldest first.
    const std::deque<Stamp>& stamps() const { return stamps_; }

  private:
    ChunkedBytes raw_;
    ChunkedBytes text_;
    std::deque<Stamp> stamps_;
    ReceiveTextDecoder decoder_;
    bool textWanted_ = true;
    uint64_t decodedTo_ = 0;         // raw offset up to which the text is decoded
    std::deque<uint64_t> resetsAt_;  // raw offsets, not yet decoded, where the decoder resets
};
