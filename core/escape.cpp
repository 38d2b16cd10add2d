#include "core/escape.h"

namespace {

bool IsControlCharacter(char16_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

}  // namespace

QString EscapeControlCharacters(QStringView text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (IsControlCharacter(c.unicode())) {
            escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            escaped += c;
        }
    }
    return escaped;
}

QString Shortened(QStringView text, qsizetype most) {
    if (text.size() <= most) return text.toString();
    return text.first(most).toString() + QStringLiteral("...");
}
