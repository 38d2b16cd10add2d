#include "radio/paramtext.h"

#include <algorithm>

#include "core/language.h"
#include "serial/serialdevice.h"

namespace {

constexpr int ChannelListSize = 12;
constexpr int IdDigits = 4;

QString ListText(const QStringList& list, int position) {
    return position >= 0 && position < list.size() ? list[position] : QString();
}

// The parity as the Chinese window's list shows it, for the Chinese message.
QString ShownParity(int position) {
    if (IsEnglish()) return ListText(ParityNames(), position);
    return ListText({QStringLiteral("无检验"), QStringLiteral("奇检验"), QStringLiteral("偶检验")},
                    position);
}

QString FieldName(RadioField field) {
    switch (field) {
        case RadioField::AirRate:
            return Tr("air rate", "空中速率");
        case RadioField::Identity:
            return Tr("ID", "ID码");
        case RadioField::Channel:
            return Tr("channel", "信道号");
        case RadioField::SerialRate:
            return Tr("serial rate", "串口速率");
        case RadioField::Parity:
            break;
    }
    return Tr("parity", "校验方式");
}

QString ShownText(RadioField field, const WriteSelection& values) {
    const QString text =
        field == RadioField::Parity ? ShownParity(values.parityPosition) : FieldText(field, values);
    return text.isEmpty() ? QStringLiteral("?") : text;
}

// A read's value as ShownText has it, or the radio's own where no list knows it.
QString ShownText(RadioField field, const ShownParameters& reading) {
    const WriteSelection values = AsWriteSelection(reading);
    return FieldText(field, values).isEmpty() ? RawValue(field, reading.raw)
                                              : ShownText(field, values);
}

}  // namespace

bool IsIdentityText(const QString& text) {
    return text.size() == IdDigits &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

QStringList ChannelTexts() {
    QStringList texts;
    for (int n = 1; n <= ChannelListSize; ++n) texts << QStringLiteral("NO.%1").arg(n);
    return texts;
}

QStringList AirRateTexts() {
    return {"1200",  "2400",  "4800",    "9600",    "19200",
            "38400", "76800", "100KBPS", "120KBPS", "56000"};
}

QStringList SerialRateTexts() {
    QStringList texts;
    for (const int32_t rate : SerialRates) texts << QString::number(rate);
    return texts;
}

QStringList ParityNames() {
    return {QStringLiteral("none"), QStringLiteral("odd"), QStringLiteral("even")};
}

QString FieldKey(RadioField field) {
    switch (field) {
        case RadioField::AirRate:
            return QStringLiteral("air_rate");
        case RadioField::Identity:
            return QStringLiteral("id");
        case RadioField::Channel:
            return QStringLiteral("channel");
        case RadioField::SerialRate:
            return QStringLiteral("serial_rate");
        case RadioField::Parity:
            break;
    }
    return QStringLiteral("parity");
}

QString FieldText(RadioField field, const WriteSelection& values) {
    switch (field) {
        case RadioField::AirRate:
            return ListText(AirRateTexts(), values.airBaudPosition);
        case RadioField::Identity: {
            const QString id = QString::fromStdU16String(values.idText).left(IdDigits);
            return IsIdentityText(id) ? id : QString();
        }
        case RadioField::Channel:
            // The radio has channels past the list; they are named all the same.
            return values.channelPosition >= 0
                       ? QStringLiteral("NO.%1").arg(values.channelPosition + 1)
                       : QString();
        case RadioField::SerialRate:
            return ListText(SerialRateTexts(), values.serialBaudPosition);
        case RadioField::Parity:
            break;
    }
    return ListText(ParityNames(), values.parityPosition);
}

QList<RadioField> DifferingFields(const WriteSelection& written, const WriteSelection& reported) {
    QList<RadioField> differing;
    for (const RadioField field : AllRadioFields) {
        if (FieldText(field, written) != FieldText(field, reported)) differing << field;
    }
    return differing;
}

QList<RadioField> UnknownFields(const RawRadioValues& raw) {
    QList<RadioField> unknown;
    if (!AirRateCodeKnown(raw.airRateCode)) unknown << RadioField::AirRate;
    const uint8_t id[2] = {raw.id[0], raw.id[1]};
    if (!IdCodeKnown(id)) unknown << RadioField::Identity;
    if (!ChannelKnown(raw.channel)) unknown << RadioField::Channel;
    return unknown;
}

QString RawValue(RadioField field, const RawRadioValues& raw) {
    switch (field) {
        case RadioField::AirRate:
            return Tr("code %1", "代码 %1").arg(raw.airRateCode);
        case RadioField::Identity:
            return Tr("bytes %1", "字节 %1")
                .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(raw.id.data()),
                                                    qsizetype(raw.id.size()))
                                             .toHex(' ')
                                             .toUpper()));
        case RadioField::Channel:
            return QString::number(raw.channel);
        case RadioField::SerialRate:
        case RadioField::Parity:
            break;
    }
    return {};
}

QString RawValueText(RadioField field, const RawRadioValues& raw) {
    return FieldName(field) + u' ' + RawValue(field, raw);
}

QString UnknownValuesText(const RawRadioValues& raw) {
    QStringList values;
    for (const RadioField field : UnknownFields(raw)) values << RawValueText(field, raw);
    if (values.isEmpty()) return {};
    return Tr("The radio holds values this program does not know: %1.",
              "电台中有本程序不认识的值：%1。")
        .arg(values.join(Tr(", ", "，")));
}

QString ReadingText(RadioField field, const ShownParameters& reading) {
    const QString text = FieldText(field, AsWriteSelection(reading));
    return text.isEmpty() ? RawValue(field, reading.raw) : text;
}

QList<RadioField> ChangedFields(const ShownParameters& before, const ShownParameters& after) {
    QList<RadioField> changed;
    const RawRadioValues& a = before.raw;
    const RawRadioValues& b = after.raw;
    if (a.airRateCode != b.airRateCode) changed << RadioField::AirRate;
    if (a.id != b.id) changed << RadioField::Identity;
    if (a.channel != b.channel) changed << RadioField::Channel;
    if (before.serialBaudPosition != after.serialBaudPosition) changed << RadioField::SerialRate;
    if (before.parityPosition != after.parityPosition) changed << RadioField::Parity;
    return changed;
}

QString VerifyFailedText(const WriteSelection& written, const ShownParameters& reported) {
    QStringList lines;
    for (const RadioField field : DifferingFields(written, AsWriteSelection(reported))) {
        lines << Tr("%1 written %2, radio reports %3", "%1写入 %2，电台读出 %3")
                     .arg(FieldName(field), ShownText(field, written), ShownText(field, reported));
    }
    if (lines.isEmpty()) return {};
    return Tr("Verify failed: ", "校验失败：") + lines.join(u'\n');
}
