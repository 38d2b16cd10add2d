#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Where a text stops being strict JSON, and why.
struct JsonFault {
    qsizetype offset = 0;  // of the byte at fault, counted from 0; the text's size at its end
    QString reason;        // nlohmann's words, or our own for a duplicate key or a zero byte
};

// Checks that the text is exactly one JSON value as RFC 8259 has it, and that no object holds
// a key twice: a leading '.' or zero, an unknown escape, NaN, a comment, a trailing comma,
// invalid UTF-8, a zero byte or a second value are faults. A reason may quote the text. A UTF-8
// byte order mark at the start is skipped, as the RFC allows. Qt's own parser accepts several of
// these, so text is checked here first.
std::optional<JsonFault> StrictJsonFault(const QByteArray& text);
