#include "radio/profile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

#include "core/escape.h"
#include "core/regularfile.h"
#include "core/strictjson.h"

namespace {

const QString FormatKey = QStringLiteral("format");

// No profile is near this; a file past it is not one, and is not read whole to find out.
constexpr qint64 MostProfileBytes = 1024 * 1024;

// The most of a key or a value from the file that an error quotes.
constexpr qsizetype MostQuoted = 40;

// A key or a text value from the file as an error quotes it.
QString FromFile(const QString& text) {
    return EscapeControlCharacters(Shortened(text, MostQuoted));
}

QString Quoted(const QJsonValue& value) {
    if (value.isString()) return u'"' + FromFile(value.toString()) + u'"';
    const QJsonDocument document(QJsonArray{value});
    const QByteArray text = document.toJson(QJsonDocument::Compact);
    return FromFile(QString::fromUtf8(text.mid(1, text.size() - 2)));
}

// The whole number a JSON value holds, if it is one.
std::optional<int> WholeNumber(const QJsonValue& value) {
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (number != std::floor(number) || std::abs(number) > 1e9) return std::nullopt;
    return static_cast<int>(number);
}

// Line and column, counted from 1, of a byte offset into UTF-8 text; the column counts
// characters, as an editor does.
QString Place(const QByteArray& text, qsizetype offset) {
    const QByteArray before = text.left(offset);
    const int line = static_cast<int>(before.count('\n')) + 1;
    const QByteArray lineStart = before.sliced(before.lastIndexOf('\n') + 1);
    const auto characters = std::count_if(lineStart.begin(), lineStart.end(), [](char byte) {
        return (static_cast<uchar>(byte) & 0xc0) != 0x80;  // not a continuation byte
    });
    return QStringLiteral("line %1, column %2").arg(line).arg(characters + 1);
}

std::optional<int> PositionOf(const QStringList& list, const QString& text) {
    const qsizetype position = list.indexOf(text);
    if (position < 0) return std::nullopt;
    return static_cast<int>(position);
}

// Checks one value and stores it; returns why it is refused, empty when taken.
QString TakeValue(RadioField field, const QJsonValue& value, RadioProfile& profile) {
    const QString key = FieldKey(field);
    const QString refused = QStringLiteral("\"%1\" must be %2, not %3");
    switch (field) {
        case RadioField::Channel: {
            const std::optional<int> channel = WholeNumber(value);
            const int count = static_cast<int>(ChannelTexts().size());
            if (!channel || *channel < 1 || *channel > count) {
                return refused.arg(key, QStringLiteral("a whole number from 1 to %1").arg(count),
                                   Quoted(value));
            }
            profile.channelPosition = *channel - 1;
            return {};
        }
        case RadioField::SerialRate: {
            const std::optional<int> rate = WholeNumber(value);
            const QStringList rates = SerialRateTexts();
            profile.serialRatePosition =
                rate ? PositionOf(rates, QString::number(*rate)) : std::nullopt;
            if (profile.serialRatePosition) return {};
            return refused.arg(key, QStringLiteral("one of ") + rates.join(QStringLiteral(", ")),
                               Quoted(value));
        }
        case RadioField::AirRate:
        case RadioField::Parity: {
            const QStringList texts = field == RadioField::AirRate ? AirRateTexts() : ParityNames();
            std::optional<int>& position =
                field == RadioField::AirRate ? profile.airRatePosition : profile.parityPosition;
            position = value.isString() ? PositionOf(texts, value.toString()) : std::nullopt;
            if (position) return {};
            return refused.arg(
                key, QStringLiteral("one of \"") + texts.join(QStringLiteral("\", \"")) + u'"',
                Quoted(value));
        }
        case RadioField::Identity:
            if (!value.isString() || !IsIdentityText(value.toString())) {
                return refused.arg(key, QStringLiteral("four digits in quotes, such as \"1234\""),
                                   Quoted(value));
            }
            profile.id = value.toString();
            return {};
    }
    return {};
}

}  // namespace

ProfileResult ParseProfile(const QByteArray& text) {
    const auto invalid = [&](qsizetype offset, const QString& reason) {
        return ProfileResult{
            std::nullopt,
            QStringLiteral("invalid JSON at %1: %2").arg(Place(text, offset), reason)};
    };
    if (const std::optional<JsonFault> fault = StrictJsonFault(text)) {
        return invalid(fault->offset, EscapeControlCharacters(fault->reason));
    }
    // Qt, which takes the values, refuses strict JSON only when it nests past Qt's limit or is
    // no object or array, which no profile is either.
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error == QJsonParseError::DeepNesting) {
        return invalid(parseError.offset, parseError.errorString());
    }
    if (!document.isObject()) return {std::nullopt, QStringLiteral("a profile is a JSON object")};
    return ProfileFromJson(document.object());
}

ProfileResult ProfileFromJson(const QJsonObject& object) {
    if (!object.contains(FormatKey)) {
        return {std::nullopt, QStringLiteral("\"format\" is missing: this program reads format %1")
                                  .arg(ProfileFormat)};
    }
    if (WholeNumber(object[FormatKey]) != ProfileFormat) {
        return {std::nullopt, QStringLiteral("\"format\" is %1: this program reads format %2")
                                  .arg(Quoted(object[FormatKey]))
                                  .arg(ProfileFormat)};
    }
    RadioProfile profile;
    for (auto entry = object.begin(); entry != object.end(); ++entry) {
        if (entry.key() == FormatKey) continue;
        const auto field = std::find_if(std::begin(AllRadioFields), std::end(AllRadioFields),
                                        [&](RadioField f) { return FieldKey(f) == entry.key(); });
        if (field == std::end(AllRadioFields)) {
            return {std::nullopt, QStringLiteral("unknown key \"%1\"").arg(FromFile(entry.key()))};
        }
        if (const QString error = TakeValue(*field, entry.value(), profile); !error.isEmpty()) {
            return {std::nullopt, error};
        }
    }
    return {profile, {}};
}

ProfileResult LoadProfileFile(const QString& path, QDeadlineTimer deadline) {
    QFile file;
    QByteArray text;
    QString error = OpenRegularFile(path, file);
    if (error.isEmpty()) error = ReadWholeFile(file, MostProfileBytes, deadline, text);
    ProfileResult result = error.isEmpty() ? ParseProfile(text) : ProfileResult{{}, error};
    // The name may come from a directory listing, which can hold anything.
    if (!result.profile) {
        result.error = QStringLiteral("%1: %2").arg(EscapeControlCharacters(path), result.error);
    }
    return result;
}

QByteArray ProfileJson(const RadioProfile& profile) {
    QJsonObject object = ValuesJson(WithProfile({}, profile));
    for (auto entry = object.begin(); entry != object.end();) {
        entry = entry.value().isNull() ? object.erase(entry) : entry + 1;
    }
    object[FormatKey] = ProfileFormat;
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QString SaveProfileFile(const QString& path, const RadioProfile& profile) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(ProfileJson(profile)) < 0 ||
        !file.commit()) {
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    }
    return {};
}

RadioProfile ProfileOf(const WriteSelection& values) {
    RadioProfile profile;
    const auto listed = [&](RadioField field, int position) -> std::optional<int> {
        if (FieldText(field, values).isEmpty()) return std::nullopt;
        return position;
    };
    profile.airRatePosition = listed(RadioField::AirRate, values.airBaudPosition);
    const bool channelListed = values.channelPosition < ChannelTexts().size();
    profile.channelPosition =
        channelListed ? listed(RadioField::Channel, values.channelPosition) : std::nullopt;
    profile.serialRatePosition = listed(RadioField::SerialRate, values.serialBaudPosition);
    profile.parityPosition = listed(RadioField::Parity, values.parityPosition);
    const QString id = FieldText(RadioField::Identity, values);
    if (!id.isEmpty()) profile.id = id;
    return profile;
}

WriteSelection WithProfile(WriteSelection values, const RadioProfile& profile) {
    values.channelPosition = profile.channelPosition.value_or(values.channelPosition);
    values.airBaudPosition = profile.airRatePosition.value_or(values.airBaudPosition);
    values.serialBaudPosition = profile.serialRatePosition.value_or(values.serialBaudPosition);
    values.parityPosition = profile.parityPosition.value_or(values.parityPosition);
    if (profile.id) values.idText = profile.id->toStdU16String();
    return values;
}

QJsonObject ValuesJson(const WriteSelection& values) {
    QJsonObject object;
    for (const RadioField field : AllRadioFields) {
        const QString text = FieldText(field, values);
        QJsonValue value;
        if (text.isEmpty()) {
            value = QJsonValue::Null;
        } else if (field == RadioField::Channel) {
            value = values.channelPosition + 1;
        } else if (field == RadioField::SerialRate) {
            value = text.toInt();
        } else {
            value = text;
        }
        object[FieldKey(field)] = value;
    }
    return object;
}
