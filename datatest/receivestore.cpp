#include "datatest/receivestore.h"

#include <algorithm>

ChunkedBytes::ChunkedBytes(int64_t capacity) : capacity_(capacity) {}

void ChunkedBytes::append(QByteArrayView bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        if (chunks_.empty() || chunks_.back().size() == ChunkSize) {
            chunks_.emplace_back();
            chunks_.back().reserve(ChunkSize);
        }
        QByteArray& last = chunks_.back();
        const qsizetype piece = std::min(bytes.size() - done, ChunkSize - last.size());
        last.append(bytes.sliced(done, piece));
        done += piece;
    }
    size_ += bytes.size();
    dropFront();
}

// Whole chunks leave while what stays still holds the capacity.
void ChunkedBytes::dropFront() {
    while (chunks_.size() > 1 && size_ - ChunkSize >= capacity_) {
        chunks_.pop_front();
        begin_ += ChunkSize;
        size_ -= ChunkSize;
    }
}

void ChunkedBytes::clear() {
    chunks_.clear();
    begin_ = 0;
    size_ = 0;
}

char ChunkedBytes::at(uint64_t offset) const {
    const uint64_t index = offset - begin_;
    return chunks_[index / ChunkSize][qsizetype(index % ChunkSize)];
}

QByteArray ChunkedBytes::slice(uint64_t from, uint64_t to) const {
    from = std::clamp(from, begin(), end());
    to = std::clamp(to, from, end());
    QByteArray bytes;
    bytes.reserve(qsizetype(to - from));
    while (from < to) {
        const uint64_t index = from - begin_;
        const QByteArray& chunk = chunks_[index / ChunkSize];
        const qsizetype start = qsizetype(index % ChunkSize);
        const qsizetype piece = std::min<qsizetype>(qsizetype(to - from), chunk.size() - start);
        bytes.append(chunk.constData() + start, piece);
        from += uint64_t(piece);
    }
    return bytes;
}

std::optional<uint64_t> ChunkedBytes::find(QByteArrayView needle, uint64_t from) const {
    if (needle.isEmpty()) return std::nullopt;
    from = std::max(from, begin());
    // Chunk by chunk, each with the needle's length less one byte of the next, so that a match
    // across a chunk boundary is found too.
    while (from + uint64_t(needle.size()) <= end()) {
        const uint64_t to =
            std::min<uint64_t>(end(), from + ChunkSize + uint64_t(needle.size()) - 1);
        const QByteArray window = slice(from, to);
        const qsizetype hit = window.indexOf(needle);
        if (hit >= 0) return from + uint64_t(hit);
        from = to - uint64_t(needle.size()) + 1;
    }
    return std::nullopt;
}

ReceiveStore::ReceiveStore(int64_t capacity) : raw_(capacity), text_(capacity) {}

void ReceiveStore::append(QByteArrayView raw, QByteArrayView textUtf8,
                          std::optional<int64_t> stamp) {
    if (stamp) stamps_.push_back({raw_.end(), text_.end(), *stamp});
    raw_.append(raw);
    text_.append(textUtf8);
    // A stamp leaves once the burst after it has left on both sides.
    while (stamps_.size() > 1 && stamps_[1].raw <= raw_.begin() &&
           stamps_[1].text <= text_.begin()) {
        stamps_.pop_front();
    }
}

void ReceiveStore::clear() {
    raw_.clear();
    text_.clear();
    stamps_.clear();
}
