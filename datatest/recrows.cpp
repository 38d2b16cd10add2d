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
    : advance_(std::move(advance)), rowWidth_(rowWidth) {}

double RecRowWrapper::Width(QStringView text) const {
    double width = 0;
    for (qsizetype i = 0; i < text.size();) {
        const auto [c, units] = CodePointAt(text, i);
        width += advance_(c);
        i += units;
    }
    return width;
}

bool RecRowWrapper::Wrap(QStringList& rows, QStringView text, qsizetype maxRows) const {
    QString row = rows.takeLast();
    double width = Width(row);
    // Where the row may break: after its last space, and the width up to there.
    qsizetype breakAt = 0;
    for (qsizetype i = row.size(); i > 0; --i) {
        if (IsSpace(row[i - 1].unicode())) {
            breakAt = i;
            break;
        }
    }
    for (qsizetype i = 0; i < text.size();) {
        const auto [c, units] = CodePointAt(text, i);
        const double advance = advance_(c);
        if (!IsSpace(c) && !row.isEmpty() && width + advance > rowWidth_) {
            // The word in progress moves to a new row, unless it fills the row on its own.
            QString carried = breakAt > 0 ? row.mid(breakAt) : QString();
            row.truncate(breakAt > 0 ? breakAt : row.size());
            rows.append(row);
            if (rows.size() > maxRows) return false;
            row = std::move(carried);
            width = Width(row);
            breakAt = 0;
        }
        row += text.mid(i, units);
        width += advance;
        if (IsSpace(c)) breakAt = row.size();
        i += units;
    }
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
