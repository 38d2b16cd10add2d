#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

// The period text's integer rule: leading spaces, an optional sign, then decimal digits or
// hexadecimal digits after $, x, X or 0x, and nothing after them. Empty text, any other
// character or a value outside the signed 32-bit range gives no value.
std::optional<int32_t> StrToInt32(QStringView text);

// "'<text>' is not a valid integer value".
QString InvalidIntegerText(const QString& text);

// The periodic send timer ticks every 10 ms while the period is in milliseconds, so a tick
// sends once its count since the last send exceeds P / 15 (truncated): every tick for P < 15.
constexpr bool TrttSendDue(int32_t trttTickCount, int32_t periodMs) {
    return trttTickCount > periodMs / 15;
}

// What one tick learns from the period text.
struct PeriodReading {
    std::optional<int32_t> periodMs;  // empty when the text is not a valid integer
    QString errorToShow;              // empty unless this wrong text is new
};

// Reads the period text on every tick. A wrong text is reported once, not on every 10 ms
// tick, which would stack up error boxes; a different wrong text, or the same one after a
// valid text, is reported again.
class PeriodTextReader {
  public:
    PeriodReading Read(const QString& text);

  private:
    std::optional<QString> reportedText_;
};
