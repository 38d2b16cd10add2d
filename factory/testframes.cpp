#include "factory/testframes.h"

#include "radio/frame.h"

int8_t PowerLevelForIndex(int index) {
    return static_cast<int8_t>(index + 1);
}

QString FieldStrengthText(uint8_t value) {
    return QStringLiteral("-%1").arg(value, 3, 10, QLatin1Char('0'));
}

QString PowerLevelText(uint8_t result) {
    const auto code = static_cast<uint8_t>(48 + result);
    // The character ends the text where it is the terminator.
    if (code == 0) return {};
    return QString(QChar(code));
}

QString DumpText(const std::array<std::optional<uint8_t>, DumpRegisterCount>& values) {
    QString text;
    text.reserve(3 * DumpRegisterCount);
    for (const auto& value : values) {
        char hex[4] = {'-', '-', ' ', '\0'};
        if (value) BytesToHex(&*value, 1, hex);
        text += QLatin1String(hex);
    }
    return text;
}

bool ReplyComplete(const uint8_t* bytes, size_t count) {
    return count >= 3 && bytes[0] == FrameHeader1 && bytes[1] == FrameHeader2 &&
           count >= static_cast<size_t>(FrameSize(bytes[2]));
}
