#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "datatest/receivestore.h"

enum class ReceiveMode { Text, Hex };

struct ReceiveLayoutOptions {
    ReceiveMode mode = ReceiveMode::Text;
    // Hexadecimal rows: this many bytes each, or as many as the width holds when 0.
    int hexBytesPerRow = 0;
    // Room for a row's content, in pixels, and the width of one character of the view's
    // fixed-pitch font, which a hexadecimal pair takes three of.
    double width = 0;
    double charWidth = 1;
    // A burst that came after a quiet spell starts a row of its own.
    bool stamps = false;
};

// Cuts what the store keeps into the rows the view shows: at the line breaks that arrived
// (CR LF, LF or a lone CR), where a row is full, and where a stamped burst begins. Nothing is
// added to the text: rows are offsets into the store, text offsets for text and byte offsets
// for hexadecimal. Appends are laid out from the last row on, so a tick costs what it brought.
// Once the store has let bytes go, row 0 is the marker row, which says so and holds no bytes.
class ReceiveLayout {
  public:
    // Width of a character (a code point) in the view's font.
    using Advance = std::function<double(char32_t)>;

    ReceiveLayout(const ReceiveStore& store, Advance advance);

    void setOptions(const ReceiveLayoutOptions& options);
    const ReceiveLayoutOptions& options() const { return options_; }
    // Lays out everything anew.
    void relayout();
    // The store grew or let old bytes go. Stops, returning false, as soon as there are more
    // than maxRows rows of bytes: a view about to be emptied need not lay out what it will not
    // show.
    bool update(qsizetype maxRows = std::numeric_limits<qsizetype>::max());

    // The marker row, if any, and the rows of bytes, of which there is always at least one,
    // empty when the store is.
    qsizetype rowCount() const { return markerRows() + byteRows(); }
    // 1 while the store has let bytes go, else 0.
    qsizetype markerRows() const { return store_.droppedBytes() > 0 ? 1 : 0; }
    bool isMarkerRow(qsizetype row) const { return row < markerRows(); }
    // The marker row begins and ends where the kept bytes begin.
    uint64_t rowBegin(qsizetype row) const {
        return isMarkerRow(row) ? bytes().begin() : rows_[size_t(first_ + row - markerRows())];
    }
    // Where the row's content ends: before its line break, or where the next row begins.
    uint64_t rowEnd(qsizetype row) const;
    // The row of bytes that shows `offset` (the last row for the end).
    qsizetype rowAt(uint64_t offset) const;
    // The time of the burst the row begins, when it begins one and stamps are on.
    std::optional<int64_t> rowStamp(qsizetype row) const;
    // Bytes in a full hexadecimal row.
    int bytesPerRow() const;

    // The bytes the rows are offsets into: the text in text mode, the bytes in hexadecimal.
    const ChunkedBytes& bytes() const;

  private:
    qsizetype byteRows() const { return qsizetype(rows_.size()) - first_; }
    // Each returns false when it stopped at more than maxRows rows.
    bool layOutFrom(uint64_t start, qsizetype maxRows);
    bool layOutText(uint64_t start, qsizetype maxRows);
    bool layOutHex(uint64_t start, qsizetype maxRows);
    // The first stamp offset after `offset`, in the mode's offsets; the end when none.
    uint64_t nextStamp(uint64_t offset) const;
    uint64_t stampOffset(const ReceiveStore::Stamp& stamp) const;
    void dropLeftRows();

    const ReceiveStore& store_;
    Advance advance_;
    ReceiveLayoutOptions options_;
    std::vector<uint64_t> rows_;
    qsizetype first_ = 0;  // rows before this one have left the store
};

// The code point that starts at `offset` of valid UTF-8 bytes, and its length in bytes.
std::pair<char32_t, int> CodePointAt(const ChunkedBytes& text, uint64_t offset);
