#include "datatest/recrows.h"

namespace {

bool IsSpace(char32_t c) {
    return c == U' ' || c == U'\t';
}

// The code point at `i` and how many UTF-16 units it takes.
std::pair<char32_t, qsizetype> CodePointAt(QStringView text, qsizetype i) {
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        return {QChar::surrogateToUcs4(c, text[i + 1]), 2};
    }
    return {c.unicode(), 1};
}

}  // namespace

QString RecLineBreaks::Normalize(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const bool lfAfterCr = pendingCr_ && c == u'\n';
        pendingCr_ = c == u'\r';
        if (lfAfterCr) continue;
        out += c == u'\r' ? QChar(u'\n') : c;
    }
    return out;
}

RecRowWrapper::RecRowWrapper(Advance advance, double rowWidth)
    : advance_(std::move(advance)), rowWidth_(rowWidth) {
    for (char32_t c = 0; c < latin1_.size(); ++c) latin1_[c] = advance_(c);
}

double RecRowWrapper::Width(QStringView text) const {
    double width = 0;
    for (qsizetype i = 0; i < text.size();) {
        const auto [c, units] = CodePointAt(text, i);
        width += AdvanceOf(c);
        i += units;
    }
    return width;
}

bool RecRowWrapper::Wrap(QStringList& rows, QStringView text, qsizetype maxRows) const {
    // The row in progress is `row` followed by text[pending, i); the text is copied into the
    // row only when the row ends.
    QString row = rows.takeLast();
    double width = Width(row);
    // Where the row may break: after its last space (0: nowhere).
    qsizetype breakAt = 0;
    for (qsizetype i = row.size(); i > 0; --i) {
        if (IsSpace(row[i - 1].unicode())) {
            breakAt = i;
            break;
        }
    }
    qsizetype pending = 0;
    for (qsizetype i = 0; i < text.size();) {
        const auto [c, units] = CodePointAt(text, i);
        const double advance = AdvanceOf(c);
        const qsizetype rowSize = row.size() + (i - pending);
        if (!IsSpace(c) && rowSize > 0 && width + advance > rowWidth_) {
            row += text.mid(pending, i - pending);
            pending = i;
            // The word in progress moves to a new row, unless it fills the row on its own.
            QString carried = breakAt > 0 ? row.mid(breakAt) : QString();
            row.truncate(breakAt > 0 ? breakAt : row.size());
            rows.append(row);
            if (rows.size() > maxRows) return false;
            row = std::move(carried);
            width = Width(row);
            breakAt = 0;
        }
        width += advance;
        i += units;
        if (IsSpace(c)) breakAt = row.size() + (i - pending);
    }
    row += text.mid(pending);
    rows.append(row);
    return rows.size() <= maxRows;
}

RecAreaUpdate::RecAreaUpdate(qsizetype rowsBeforeLast, QString lastRow,
                             const RecRowWrapper& wrapper, int lineLimit)
    : rowsBeforeLast_(rowsBeforeLast),
      rows_{std::move(lastRow)},
      wrapper_(wrapper),
      lineLimit_(lineLimit) {}

void RecAreaUpdate::Append(QStringView text) {
    // Beyond this many rows the area is above its limit whatever else the read holds.
    const qsizetype maxRows = lineLimit_ - rowsBeforeLast_ + 1;
    qsizetype start = 0;
    while (true) {
        const qsizetype end = text.indexOf(u'\n', start);
        const QStringView line = text.mid(start, (end < 0 ? text.size() : end) - start);
        if (!wrapper_.Wrap(rows_, line, maxRows)) {
            Clear();
            return;
        }
        if (end < 0) break;
        rows_.append(QString());
        start = end + 1;
    }
    if (LineCount() > lineLimit_) Clear();
}

qsizetype RecAreaUpdate::LineCount() const {
    return rowsBeforeLast_ + rows_.size() - (rows_.last().isEmpty() ? 1 : 0);
}

void RecAreaUpdate::Clear() {
    cleared_ = true;
    rowsBeforeLast_ = 0;
    rows_ = QStringList{QString()};
}
