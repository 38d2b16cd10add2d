#include "datatest/receivesearch.h"

#include <algorithm>
#include <cstring>

ChunkedSearch::ChunkedSearch(const ChunkedBytes& bytes, QByteArrayView needle, Direction direction,
                             uint64_t start)
    : bytes_(bytes),
      pattern_(needle.toByteArray()),
      direction_(direction),
      start_(start),
      end_(bytes.end()) {
    if (pattern_.isEmpty()) {
        state_ = State::NotFound;
        return;
    }
    if (direction_ == Direction::Backward) std::reverse(pattern_.begin(), pattern_.end());
    border_.assign(size_t(pattern_.size()), 0);
    for (qsizetype i = 1, k = 0; i < pattern_.size(); ++i) {
        while (k > 0 && pattern_[i] != pattern_[k]) k = border_[size_t(k - 1)];
        if (pattern_[i] == pattern_[k]) ++k;
        border_[size_t(i)] = k;
    }
    beginPass(direction_ == Direction::Forward);
}

void ChunkedSearch::beginPass(bool atOrAfterStart) {
    if (atOrAfterStart) {
        from_ = start_;
        to_ = end_;
    } else {
        from_ = bytes_.begin();
        to_ = std::min(end_, start_ + uint64_t(pattern_.size()) - 1);
    }
    next_ = direction_ == Direction::Forward ? from_ : to_;
    matched_ = 0;
}

ChunkedSearch::State ChunkedSearch::step(qsizetype maxBytes) {
    qsizetype budget = maxBytes;
    while (state_ == State::Running && budget > 0) {
        // Bytes that left meanwhile are skipped; a match begun in them is gone with them.
        from_ = std::max(from_, bytes_.begin());
        to_ = std::min(to_, bytes_.end());
        const bool forward = direction_ == Direction::Forward;
        if (forward ? next_ < from_ : next_ > to_) {
            next_ = forward ? from_ : to_;
            matched_ = 0;
        }
        if (forward ? next_ >= to_ : next_ <= from_) {
            if (wrapped_) {
                state_ = State::NotFound;
            } else {
                wrapped_ = true;
                beginPass(direction_ == Direction::Backward);
            }
            continue;
        }
        budget -= forward ? feedForward(budget) : feedBackward(budget);
    }
    return state_;
}

qsizetype ChunkedSearch::feedForward(qsizetype budget) {
    const auto [first, piece] = bytes_.pieceAt(next_);
    const auto at = qsizetype(next_ - first);
    const qsizetype count = std::min({budget, piece.size() - at, qsizetype(to_ - next_)});
    const char* data = piece.data() + at;
    qsizetype looked = 0;
    while (looked < count) {
        if (matched_ == 0) {
            // Nothing begun: on to the next byte that can begin the needle.
            const void* lead = std::memchr(data + looked, pattern_[0], size_t(count - looked));
            looked = lead ? static_cast<const char*>(lead) - data : count;
            if (looked == count) break;
        }
        matched_ = matchedAfter(data[looked++]);
        if (matched_ == pattern_.size()) {
            hit_ = next_ + uint64_t(looked - matched_);
            state_ = State::Found;
            break;
        }
    }
    next_ += uint64_t(looked);
    examined_ += uint64_t(looked);
    return looked;
}

qsizetype ChunkedSearch::feedBackward(qsizetype budget) {
    const auto [first, piece] = bytes_.pieceAt(next_ - 1);
    const auto top = qsizetype(next_ - first);
    const qsizetype count = std::min({budget, top, qsizetype(next_ - from_)});
    const char* data = piece.data() + top;
    const char lead = pattern_[0];
    qsizetype looked = 0;
    while (looked < count) {
        // Nothing begun: on to the next byte that can begin the needle.
        while (matched_ == 0 && looked < count && data[-looked - 1] != lead) ++looked;
        if (looked == count) break;
        matched_ = matchedAfter(data[-++looked]);
        if (matched_ == pattern_.size()) {
            hit_ = next_ - uint64_t(looked);
            state_ = State::Found;
            break;
        }
    }
    next_ -= uint64_t(looked);
    examined_ += uint64_t(looked);
    return looked;
}

qsizetype ChunkedSearch::matchedAfter(char byte) const {
    const char* pattern = pattern_.constData();
    qsizetype matched = matched_;
    while (matched > 0 && pattern[matched] != byte) matched = border_[size_t(matched - 1)];
    return pattern[matched] == byte ? matched + 1 : 0;
}
