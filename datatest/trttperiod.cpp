#include "datatest/trttperiod.h"

#include <limits>

namespace {

int DigitValue(QChar ch, int base) {
    const char16_t c = ch.unicode();
    int value = base;
    if (c >= u'0' && c <= u'9')
        value = c - u'0';
    else if (c >= u'A' && c <= u'F')
        value = c - u'A' + 10;
    else if (c >= u'a' && c <= u'f')
        value = c - u'a' + 10;
    return value < base ? value : -1;
}

}  // namespace

std::optional<int32_t> StrToInt32(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ') ++i;

    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    int base = 10;
    const QStringView rest = text.mid(i);
    if (rest.startsWith(u'$') || rest.startsWith(u'x') || rest.startsWith(u'X')) {
        base = 16;
        i += 1;
    } else if (rest.startsWith(u"0x")) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return std::nullopt;

    // Accumulate the magnitude in 64 bits; the limit lets -2147483648 through.
    const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()}
                                   : int64_t{std::numeric_limits<int32_t>::max()};
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit) return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

QString InvalidIntegerText(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

PeriodReading PeriodTextReader::Read(const QString& text) {
    PeriodReading reading{StrToInt32(text), {}};
    if (reading.periodMs) {
        reportedText_.reset();
    } else if (reportedText_ != text) {
        reportedText_ = text;
        reading.errorToShow = InvalidIntegerText(text);
    }
    return reading;
}
