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
    // One chunk is kept, emptied: a display cleared many times a second does not ask the
    // system for fresh memory each time.
    if (chunks_.size() > 1) chunks_.erase(chunks_.begin() + 1, chunks_.end());
    if (!chunks_.empty()) chunks_.front().resize(0);
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
        const auto [first, piece] = pieceAt(from);
        const auto start = qsizetype(from - first);
        const qsizetype length = std::min<qsizetype>(qsizetype(to - from), piece.size() - start);
        bytes.append(piece.sliced(start, length));
        from += uint64_t(length);
    }
    return bytes;
}

std::pair<uint64_t, QByteArrayView> ChunkedBytes::pieceAt(uint64_t offset) const {
    const uint64_t index = offset - begin_;
    return {offset - index % ChunkSize, chunks_[index / ChunkSize]};
}

namespace {

// Text that comes due all at once is decoded a slice at a time.
constexpr uint64_t kDecodeSlice = 1024 * 1024;

}  // namespace

ReceiveStore::ReceiveStore(int64_t capacity) : raw_(capacity), text_(capacity) {}

void ReceiveStore::append(QByteArrayView raw, std::optional<int64_t> stamp) {
    const bool current = textWanted_ && decodedTo_ == raw_.end();
    if (stamp) stamps_.push_back({raw_.end(), text_.end(), *stamp});
    raw_.append(raw);
    if (current) {
        text_.append(decoder_.Decode(raw));
        decodedTo_ = raw_.end();
    } else if (textWanted_) {
        bringTextUpToDate();
    }
    // A stamp leaves once the burst after it has left on both sides; a burst not decoded yet
    // has only its bytes.
    while (stamps_.size() > 1 && stamps_[1].raw <= raw_.begin() &&
           (stamps_[1].raw >= decodedTo_ || stamps_[1].text <= text_.begin())) {
        stamps_.pop_front();
    }
}

void ReceiveStore::setTextWanted(bool wanted) {
    textWanted_ = wanted;
    if (wanted) bringTextUpToDate();
}

void ReceiveStore::bringTextUpToDate() {
    if (decodedTo_ < raw_.begin()) {
        // Bytes left before they were decoded: the text begins again at the first byte kept.
        text_.clear();
        decoder_.ResetAfterGap();
        decodedTo_ = raw_.begin();
        for (Stamp& stamp : stamps_) {
            if (stamp.raw < decodedTo_) stamp.text = text_.end();
        }
    }
    auto stamp =
        std::lower_bound(stamps_.begin(), stamps_.end(), decodedTo_,
                         [](const Stamp& each, uint64_t offset) { return each.raw < offset; });
    while (true) {
        while (!resetsAt_.empty() && resetsAt_.front() <= decodedTo_) {
            decoder_.ResetAfterGap();
            resetsAt_.pop_front();
        }
        for (; stamp != stamps_.end() && stamp->raw == decodedTo_; ++stamp) {
            stamp->text = text_.end();
        }
        if (decodedTo_ == raw_.end()) return;
        uint64_t until = std::min(raw_.end(), decodedTo_ + kDecodeSlice);
        if (stamp != stamps_.end()) until = std::min(until, stamp->raw);
        if (!resetsAt_.empty()) until = std::min(until, resetsAt_.front());
        text_.append(decoder_.Decode(raw_.slice(decodedTo_, until)));
        decodedTo_ = until;
    }
}

void ReceiveStore::forgetPartialCharacter() {
    if (decodedTo_ == raw_.end()) {
        decoder_.ResetAfterGap();
    } else if (resetsAt_.empty() || resetsAt_.back() != raw_.end()) {
        resetsAt_.push_back(raw_.end());
    }
}

void ReceiveStore::clear() {
    // The text after a clearing begins with the first character that begins after it. A
    // decoder that is behind never sees the bytes in between.
    if (decodedTo_ == raw_.end()) {
        decoder_.Reset();
    } else {
        decoder_.ResetAfterGap();
    }
    raw_.clear();
    text_.clear();
    stamps_.clear();
    resetsAt_.clear();
    decodedTo_ = 0;
}
