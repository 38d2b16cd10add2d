#include "datatest/receivelayout.h"

#include <algorithm>

namespace {

bool IsBreak(char c) {
    return c == '\n' || c == '\r';
}

}  // namespace

std::pair<char32_t, int> CodePointAt(const ChunkedBytes& text, uint64_t offset) {
    const auto first = static_cast<unsigned char>(text.at(offset));
    if (first < 0x80) return {first, 1};
    const int length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
    char32_t cp = first & (0x3F >> (length - 1));
    for (int i = 1; i < length && offset + uint64_t(i) < text.end(); ++i) {
        cp = cp << 6 | (static_cast<unsigned char>(text.at(offset + uint64_t(i))) & 0x3F);
    }
    return {cp, length};
}

ReceiveLayout::ReceiveLayout(const ReceiveStore& store, Advance advance)
    : store_(store), advance_(std::move(advance)) {
    relayout();
}

void ReceiveLayout::setOptions(const ReceiveLayoutOptions& options) {
    options_ = options;
    relayout();
}

const ChunkedBytes& ReceiveLayout::bytes() const {
    return options_.mode == ReceiveMode::Text ? store_.text() : store_.raw();
}

int ReceiveLayout::bytesPerRow() const {
    if (options_.hexBytesPerRow > 0) return options_.hexBytesPerRow;
    return std::max(1, int(options_.width / (3 * options_.charWidth)));
}

void ReceiveLayout::relayout() {
    rows_.clear();
    first_ = 0;
    layOutFrom(bytes().begin(), std::numeric_limits<qsizetype>::max());
}

bool ReceiveLayout::update(qsizetype maxRows) {
    dropLeftRows();
    // The last row may go on; everything before it stays as it is.
    const uint64_t start = rows_.back();
    rows_.pop_back();
    return layOutFrom(start, maxRows);
}

void ReceiveLayout::dropLeftRows() {
    const uint64_t begin = bytes().begin();
    while (byteRows() > 1 && rows_[size_t(first_ + 1)] <= begin) ++first_;
    rows_[size_t(first_)] = std::max(rows_[size_t(first_)], begin);
    // Rows that left are let go in bulk, not one by one.
    if (first_ > qsizetype(rows_.size()) / 2) {
        rows_.erase(rows_.begin(), rows_.begin() + first_);
        first_ = 0;
    }
}

bool ReceiveLayout::layOutFrom(uint64_t start, qsizetype maxRows) {
    if (options_.mode == ReceiveMode::Text) return layOutText(start, maxRows);
    return layOutHex(start, maxRows);
}

uint64_t ReceiveLayout::stampOffset(const ReceiveStore::Stamp& stamp) const {
    return options_.mode == ReceiveMode::Text ? stamp.text : stamp.raw;
}

uint64_t ReceiveLayout::nextStamp(uint64_t offset) const {
    if (!options_.stamps) return bytes().end();
    const auto& stamps = store_.stamps();
    const auto after = std::upper_bound(stamps.begin(), stamps.end(), offset,
                                        [this](uint64_t value, const ReceiveStore::Stamp& stamp) {
                                            return value < stampOffset(stamp);
                                        });
    return after == stamps.end() ? bytes().end() : stampOffset(*after);
}

bool ReceiveLayout::layOutText(uint64_t start, qsizetype maxRows) {
    const ChunkedBytes& text = store_.text();
    const uint64_t end = text.end();
    uint64_t row = start;
    // An LF that arrived after the CR that ended the row before belongs to that break.
    if (row > text.begin() && row < end && text.at(row - 1) == '\r' && text.at(row) == '\n') {
        ++row;
    }
    uint64_t stamp = nextStamp(row);
    while (true) {
        rows_.push_back(row);
        if (byteRows() > maxRows) return false;
        double x = 0;
        uint64_t at = row;
        while (true) {
            if (at == end) return true;
            if (at == stamp && at > row) break;
            const char c = text.at(at);
            if (IsBreak(c)) {
                ++at;
                if (c == '\r' && at < end && text.at(at) == '\n') ++at;
                break;
            }
            const auto [cp, length] = CodePointAt(text, at);
            const double advance = advance_(cp);
            if (x + advance > options_.width && at > row) break;
            x += advance;
            at += uint64_t(length);
        }
        row = at;
        if (row >= stamp) stamp = nextStamp(row);
    }
}

bool ReceiveLayout::layOutHex(uint64_t start, qsizetype maxRows) {
    const uint64_t end = store_.raw().end();
    const auto perRow = uint64_t(bytesPerRow());
    uint64_t row = start;
    uint64_t stamp = nextStamp(row);
    while (true) {
        rows_.push_back(row);
        if (byteRows() > maxRows) return false;
        const uint64_t full = std::min(row + perRow, stamp);
        if (full >= end) return true;
        row = full;
        if (row >= stamp) stamp = nextStamp(row);
    }
}

uint64_t ReceiveLayout::rowEnd(qsizetype row) const {
    const ChunkedBytes& data = bytes();
    if (isMarkerRow(row)) return data.begin();
    const uint64_t next = row + 1 < rowCount() ? rowBegin(row + 1) : data.end();
    if (options_.mode == ReceiveMode::Hex) return next;
    uint64_t end = rowBegin(row);
    while (end < next && !IsBreak(data.at(end))) ++end;
    return end;
}

qsizetype ReceiveLayout::rowAt(uint64_t offset) const {
    const auto begin = rows_.begin() + first_;
    const auto after = std::upper_bound(begin, rows_.end(), offset);
    return markerRows() + std::max<qsizetype>(0, (after - begin) - 1);
}

std::optional<int64_t> ReceiveLayout::rowStamp(qsizetype row) const {
    if (!options_.stamps || isMarkerRow(row)) return std::nullopt;
    const uint64_t begin = rowBegin(row);
    const auto& stamps = store_.stamps();
    const auto at = std::lower_bound(stamps.begin(), stamps.end(), begin,
                                     [this](const ReceiveStore::Stamp& stamp, uint64_t value) {
                                         return stampOffset(stamp) < value;
                                     });
    // Of several bursts at one offset (some brought no text), the last one heads the row.
    auto last = at;
    while (last != stamps.end() && std::next(last) != stamps.end() &&
           stampOffset(*std::next(last)) == begin) {
        ++last;
    }
    if (last == stamps.end() || stampOffset(*last) != begin) return std::nullopt;
    return last->msSinceEpoch;
}
