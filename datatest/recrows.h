#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <functional>

// Received text turns CR LF, LF and a lone CR into one LF each. A CR that ends one read and
// the LF that starts the next are one break, not two.
class RecLineBreaks {
  public:
    QString Normalize(QStringView text);
    void Reset() { pendingCr_ = false; }

  private:
    bool pendingCr_ = false;
};

// Breaks a paragraph into display rows as the receive area would wrap it: after the last
// space that fits, or anywhere in a word wider than a row. Spaces may hang past the edge, as
// they do in the area. A row always takes at least one character.
class RecRowWrapper {
  public:
    // Width of one character (a code point) in the area's font.
    using Advance = std::function<double(char32_t)>;

    // Asks `advance` once for each Latin-1 character and keeps the answers, since most
    // received text is made of them; other characters are asked for as they come.
    RecRowWrapper(Advance advance, double rowWidth);

    // Continues the paragraph in rows.last() (rows must not be empty) with `text`, which holds
    // no line break, adding rows as they fill. Stops and returns false as soon as there are
    // more than maxRows rows.
    bool Wrap(QStringList& rows, QStringView text, qsizetype maxRows) const;

  private:
    double Width(QStringView text) const;
    double AdvanceOf(char32_t c) const { return c < latin1_.size() ? latin1_[c] : advance_(c); }

    std::array<double, 256> latin1_{};
    Advance advance_;
    double rowWidth_;
};

// What one receive tick does to the receive area, worked out before the area is touched:
// the rows that replace the area's last row, and whether the area is emptied first. Automatic
// clearing empties the area once a read brings it above the line limit; the text of that read
// goes with it, so it is never laid out at all.
class RecAreaUpdate {
  public:
    // The area holds rowsBeforeLast full rows followed by lastRow.
    RecAreaUpdate(qsizetype rowsBeforeLast, QString lastRow, const RecRowWrapper& wrapper,
                  int lineLimit);

    // Appends the display text of one read; LF breaks lines.
    void Append(QStringView text);

    // The area must be emptied before rows() are written.
    bool Cleared() const { return cleared_; }
    // The area's last row and everything after it; never empty.
    const QStringList& Rows() const { return rows_; }
    // Lines the area shows; an empty row after a final line break is not a line.
    qsizetype LineCount() const;

  private:
    void Clear();

    qsizetype rowsBeforeLast_;
    QStringList rows_;
    const RecRowWrapper& wrapper_;
    int lineLimit_;
    bool cleared_ = false;
};
