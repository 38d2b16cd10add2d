#include "datatest/trtthex.h"

namespace {

// -1 for anything but an ASCII hexadecimal digit.
int HexValue(QChar ch) {
    const char16_t c = ch.unicode();
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

}  // namespace

int TrttHexToBytes(const QStringList& lines, std::span<uint8_t> out) {
    size_t count = 0;
    for (const QString& line : lines) {
        bool highPending = false;
        for (const QChar ch : line) {
            if (count == out.size()) return static_cast<int>(count);
            const int value = HexValue(ch);
            if (value < 0) continue;
            if (highPending) {
                out[count++] |= static_cast<uint8_t>(value);
            } else {
                out[count] = static_cast<uint8_t>(value << 4);
            }
            highPending = !highPending;
        }
    }
    return static_cast<int>(count);
}
