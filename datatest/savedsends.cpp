#include "datatest/savedsends.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStringList>
#include <climits>
#include <cmath>

#include "core/escape.h"
#include "core/regularfile.h"
#include "core/strictjson.h"

namespace {

constexpr int SavedSendsFormat = 1;
constexpr qsizetype MostQuoted = 40;

const QString FormatKey = QStringLiteral("format");
const QString SendsKey = QStringLiteral("sends");
const QString NameKey = QStringLiteral("name");
const QString DataKey = QStringLiteral("data");
const QString HexKey = QStringLiteral("hex");
const QString ChecksumKeyName = QStringLiteral("checksum");
const QString PeriodKey = QStringLiteral("period_ms");

bool IsSeparator(QChar c) {
    return c == u' ' || c == u',' || c == u'\t' || c == u'\r' || c == u'\n';
}

int HexValue(QChar c) {
    if (c >= u'0' && c <= u'9') return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f') return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c.unicode() - u'A' + 10;
    return -1;
}

// A text from the file as an error quotes it.
QString FromFile(const QString& text) {
    return EscapeControlCharacters(Shortened(text, MostQuoted));
}

std::optional<int> WholeNumber(const QJsonValue& value) {
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    // In range before it is converted: converting a larger double is undefined.
    if (!(number >= INT_MIN && number <= INT_MAX) || number != std::floor(number)) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}

// Takes one send's object; returns why it is refused, empty when taken.
QString TakeSend(const QJsonValue& value, SavedSend& send) {
    if (!value.isObject()) return QStringLiteral("is not an object");
    const QJsonObject object = value.toObject();
    for (auto entry = object.begin(); entry != object.end(); ++entry) {
        const QString& key = entry.key();
        const QJsonValue& v = entry.value();
        const QString wrong = QStringLiteral("\"%1\" must be %2").arg(key);
        if (key == NameKey) {
            if (!v.isString()) return wrong.arg(QStringLiteral("a text"));
            send.name = v.toString();
        } else if (key == DataKey) {
            if (!v.isString()) return wrong.arg(QStringLiteral("a text"));
            send.data = v.toString();
        } else if (key == HexKey) {
            if (!v.isBool()) return wrong.arg(QStringLiteral("true or false"));
            send.hex = v.toBool();
        } else if (key == ChecksumKeyName) {
            const std::optional<Checksum> checksum =
                v.isString() ? ChecksumFromKey(v.toString()) : std::nullopt;
            if (!checksum) {
                QStringList names;
                for (const Checksum c : AllChecksums) names << ChecksumKey(c);
                return wrong.arg(QStringLiteral("one of \"%1\"").arg(names.join(u"\", \"")));
            }
            send.checksum = *checksum;
        } else if (key == PeriodKey) {
            const std::optional<int> period = WholeNumber(v);
            if (!period) return wrong.arg(QStringLiteral("a whole number"));
            send.periodMs = *period;
        } else {
            return QStringLiteral("has an unknown key \"%1\"").arg(FromFile(key));
        }
    }
    if (!object.contains(NameKey) || !object.contains(DataKey)) {
        return QStringLiteral("needs \"name\" and \"data\"");
    }
    return SavedSendFault(send);
}

}  // namespace

std::optional<QByteArray> StrictHexBytes(const QString& text, QString* why) {
    QByteArray bytes;
    const auto refuse = [&](const QString& reason) -> std::optional<QByteArray> {
        if (why) *why = reason;
        return std::nullopt;
    };
    qsizetype i = 0;
    while (i < text.size()) {
        if (IsSeparator(text[i])) {
            ++i;
            continue;
        }
        // One byte or a run of them: digits in pairs up to the next separator.
        if (text[i] == u'0' && i + 1 < text.size() && (text[i + 1] == u'x' || text[i + 1] == u'X'))
            i += 2;
        const qsizetype start = i;
        while (i < text.size() && !IsSeparator(text[i])) {
            if (HexValue(text[i]) < 0) {
                return refuse(QStringLiteral("\"%1\" at character %2 is not a hexadecimal digit")
                                  .arg(EscapeControlCharacters(text.mid(i, 1)))
                                  .arg(i + 1));
            }
            ++i;
        }
        if ((i - start) % 2 != 0 || i == start) {
            return refuse(
                QStringLiteral("the digits ending at character %1 do not make whole bytes").arg(i));
        }
        for (qsizetype d = start; d < i; d += 2) {
            bytes.append(static_cast<char>(HexValue(text[d]) * 16 + HexValue(text[d + 1])));
        }
    }
    return bytes;
}

QString SavedSendFault(const SavedSend& send) {
    if (send.name.trimmed().isEmpty()) return QStringLiteral("the name is empty");
    if (send.name.size() > LongestSavedSendName) {
        return QStringLiteral("the name is longer than %1 characters").arg(LongestSavedSendName);
    }
    if (send.data.isEmpty()) return QStringLiteral("there is nothing to send");
    if (send.data.size() > LongestSavedSendData) {
        return QStringLiteral("the data are longer than %1 characters").arg(LongestSavedSendData);
    }
    QString why;
    if (send.hex && !StrictHexBytes(send.data, &why)) return why;
    if (send.periodMs < ShortestSendPeriodMs || send.periodMs > LongestSendPeriodMs) {
        return QStringLiteral("the period must be from %1 to %2 ms")
            .arg(ShortestSendPeriodMs)
            .arg(LongestSendPeriodMs);
    }
    return {};
}

std::optional<QByteArray> SavedSendBytes(const SavedSend& send, LineEnding ending) {
    if (!SavedSendFault(send).isEmpty()) return std::nullopt;
    QByteArray bytes = send.hex ? *StrictHexBytes(send.data) : TransmitTextBytes(send.data, ending);
    bytes += ChecksumBytes(send.checksum, bytes);
    return bytes;
}

QByteArray SavedSendsJson(const QList<SavedSend>& sends) {
    QJsonArray array;
    for (const SavedSend& send : sends) {
        array.append(QJsonObject{{NameKey, send.name},
                                 {DataKey, send.data},
                                 {HexKey, send.hex},
                                 {ChecksumKeyName, ChecksumKey(send.checksum)},
                                 {PeriodKey, send.periodMs}});
    }
    return QJsonDocument(QJsonObject{{FormatKey, SavedSendsFormat}, {SendsKey, array}})
        .toJson(QJsonDocument::Indented);
}

SavedSendsResult ParseSavedSends(const QByteArray& text) {
    const auto refused = [](const QString& error) { return SavedSendsResult{std::nullopt, error}; };
    if (const std::optional<JsonFault> fault = StrictJsonFault(text)) {
        return refused(QStringLiteral("invalid JSON at byte %1: %2")
                           .arg(fault->offset)
                           .arg(EscapeControlCharacters(fault->reason)));
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) return refused(parseError.errorString());
    if (!document.isObject()) return refused(QStringLiteral("the file is not a JSON object"));
    const QJsonObject top = document.object();
    for (auto entry = top.begin(); entry != top.end(); ++entry) {
        if (entry.key() != FormatKey && entry.key() != SendsKey) {
            return refused(QStringLiteral("unknown key \"%1\"").arg(FromFile(entry.key())));
        }
    }
    if (WholeNumber(top[FormatKey]) != SavedSendsFormat) {
        return refused(QStringLiteral("\"format\" must be %1, the format this program reads")
                           .arg(SavedSendsFormat));
    }
    if (!top[SendsKey].isArray()) return refused(QStringLiteral("\"sends\" must be a list"));
    const QJsonArray array = top[SendsKey].toArray();
    if (array.size() > MostSavedSends) {
        return refused(QStringLiteral("more than %1 sends").arg(MostSavedSends));
    }
    QList<SavedSend> sends;
    for (qsizetype i = 0; i < array.size(); ++i) {
        SavedSend send;
        if (const QString why = TakeSend(array[i], send); !why.isEmpty()) {
            return refused(QStringLiteral("send %1: %2").arg(i + 1).arg(why));
        }
        sends.append(send);
    }
    return {sends, {}};
}

SavedSendsResult LoadSavedSendsFile(const QString& path, QDeadlineTimer deadline) {
    QFile file;
    QByteArray text;
    QString error = OpenRegularFile(path, file);
    if (error.isEmpty()) error = ReadWholeFile(file, MostSavedSendsFileBytes, deadline, text);
    SavedSendsResult result = error.isEmpty() ? ParseSavedSends(text) : SavedSendsResult{{}, error};
    if (!result.sends) {
        result.error = QStringLiteral("%1: %2").arg(EscapeControlCharacters(path), result.error);
    }
    return result;
}

QString SaveSavedSendsFile(const QString& path, const QList<SavedSend>& sends) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(SavedSendsJson(sends)) < 0 ||
        !file.commit()) {
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    }
    return {};
}
