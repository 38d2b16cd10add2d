#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <optional>

#include "datatest/checksum.h"
#include "datatest/textcodec.h"

// A send kept under a name: text, or the bytes hexadecimal digits spell, and a checksum to
// follow them. It goes out by a click, a shortcut or periodically.
struct SavedSend {
    QString name;
    QString data;
    bool hex = false;
    Checksum checksum = Checksum::None;
    int periodMs = 1000;
    friend bool operator==(const SavedSend&, const SavedSend&) = default;
};

inline constexpr qsizetype MostSavedSends = 100;
inline constexpr qsizetype LongestSavedSendName = 100;
inline constexpr qsizetype LongestSavedSendData = 16 * 1024;
inline constexpr int ShortestSendPeriodMs = 10;
inline constexpr int LongestSendPeriodMs = 3600 * 1000;
// Far more than the most sends at their longest take as JSON.
inline constexpr qint64 MostSavedSendsFileBytes = 8 * 1024 * 1024;

// The bytes hexadecimal text spells: pairs of digits, each byte written whole, separated by
// spaces, commas, tabs or line breaks or not at all; a byte may carry a 0x prefix. Anything
// else, or a digit left over, is refused with the reason in `why`.
std::optional<QByteArray> StrictHexBytes(const QString& text, QString* why = nullptr);

// Why the send cannot be kept (no name, too long, hexadecimal digits that spell no bytes, a
// period out of range); empty when it can.
QString SavedSendFault(const SavedSend& send);

// What the send puts on the wire: its bytes (text breaks as `ending`), then its checksum of
// them. Nothing for a send with a fault.
std::optional<QByteArray> SavedSendBytes(const SavedSend& send, LineEnding ending);

// The sends as indented JSON: {"format": 1, "sends": [{"name", "data", "hex", "checksum",
// "period_ms"}, ...]}.
QByteArray SavedSendsJson(const QList<SavedSend>& sends);

// The sends, or why there are none: bad JSON by line and column, the send and key at fault.
struct SavedSendsResult {
    std::optional<QList<SavedSend>> sends;
    QString error;
};
// Strict JSON, every key known and every value checked; at most MostSavedSends sends.
SavedSendsResult ParseSavedSends(const QByteArray& text);
// ParseSavedSends of a regular file of at most MostSavedSendsFileBytes; the error starts with
// the file's name.
SavedSendsResult LoadSavedSendsFile(const QString& path,
                                    QDeadlineTimer deadline = QDeadlineTimer(5000));
// Writes the file whole or not at all; returns why not, empty on success.
QString SaveSavedSendsFile(const QString& path, const QList<SavedSend>& sends);
