#include "records/radiorecord.h"

#include <QRegularExpression>

std::optional<IdRange> ParseIdRange(QStringView text) {
    // An en dash as well, as ranges are often written in documents: "0100–0199".
    static const QRegularExpression form(QStringLiteral("\\A([0-9]{4})[-\u2013]([0-9]{4})\\z"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) return std::nullopt;
    const IdRange range{match.captured(1).toInt(), match.captured(2).toInt()};
    if (range.first > range.last) return std::nullopt;
    return range;
}

QString IdText(int id) {
    return QStringLiteral("%1").arg(id, 4, 10, QLatin1Char('0'));
}
