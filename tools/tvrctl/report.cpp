#include "tools/tvrctl/report.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString PortAndDevice(const SessionResult& result) {
    return QStringLiteral("%1 (%2)").arg(result.target.port, result.target.device);
}

QString SerialSetting(const ShownParameters& reading) {
    const WriteSelection values = AsWriteSelection(reading);
    return FieldText(RadioField::SerialRate, values) + u'-' + FieldText(RadioField::Parity, values);
}

// The radio's own values of the fields no list knows: a number for the channel and the air-rate
// code, the two identity bytes in hexadecimal.
QJsonObject RawJson(const RawRadioValues& raw) {
    QJsonObject object;
    for (const RadioField field : UnknownFields(raw)) {
        if (field == RadioField::Identity) {
            object[FieldKey(field)] = QString::fromLatin1(
                QByteArray(reinterpret_cast<const char*>(raw.id.data()), 2).toHex().toUpper());
        } else {
            object[FieldKey(field)] = field == RadioField::Channel ? raw.channel : raw.airRateCode;
        }
    }
    return object;
}

// The values as a profile gives them, null where no list knows the radio's value; "raw" then
// holds the radio's own, and is left out while every value is known.
QJsonObject ReadingJson(const ShownParameters& reading) {
    QJsonObject object = ValuesJson(AsWriteSelection(reading));
    if (const QJsonObject raw = RawJson(reading.raw); !raw.isEmpty()) object["raw"] = raw;
    return object;
}

QJsonValue ReadingOrNull(const std::optional<ShownParameters>& reading) {
    return reading ? QJsonValue(ReadingJson(*reading)) : QJsonValue(QJsonValue::Null);
}

// A CSV field, quoted when it must be.
QString CsvField(QString text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r')) {
        return text;
    }
    return u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// What changed between two reads of a radio: "channel NO.1 -> NO.5", "channel 200 -> NO.5".
QStringList Changes(const ShownParameters& before, const ShownParameters& after) {
    QStringList changes;
    for (const RadioField field : ChangedFields(before, after)) {
        changes << QStringLiteral("%1 %2 -> %3")
                       .arg(FieldKey(field), ReadingText(field, before), ReadingText(field, after));
    }
    return changes;
}

}  // namespace

QString ParametersText(const SessionResult& result) {
    const ShownParameters& reading = *result.before;
    const auto unknownMarked = [&](RadioField field) {
        const QString text = ReadingText(field, reading);
        return UnknownFields(reading.raw).contains(field) ? text + QStringLiteral(" (unknown)")
                                                          : text;
    };
    const QList<std::pair<QString, QString>> rows{
        {"port", result.target.port},
        {"device", result.target.device},
        {"model", result.model},
        {"channel", unknownMarked(RadioField::Channel)},
        {"air rate", unknownMarked(RadioField::AirRate)},
        {"serial", SerialSetting(reading)},
        {"id", unknownMarked(RadioField::Identity)},
    };
    QString text;
    for (const auto& [name, value] : rows) {
        text += QStringLiteral("%1 %2\n").arg(name + u':', -9).arg(value.isEmpty() ? "?" : value);
    }
    return text;
}

QJsonObject ParametersJson(const SessionResult& result) {
    QJsonObject object = ReadingJson(*result.before);
    object["format"] = ProfileFormat;
    object["port"] = result.target.port;
    object["device"] = result.target.device;
    object["model"] = result.model;
    return object;
}

QString ScanLine(const SessionResult& result) {
    if (!result.before) return PortAndDevice(result) + QStringLiteral(": ") + result.error;
    return QStringLiteral("%1: %2 %3")
        .arg(PortAndDevice(result), SerialSetting(*result.before), result.model);
}

QString OutcomeText(const SessionResult& result) {
    const QString lead = PortAndDevice(result) + QStringLiteral(": ");
    if (result.exitStatus != 0) return lead + result.error;
    // Unverified, the radio is taken to hold what its frames carried.
    const ShownParameters now = result.after ? *result.after : ExpectedReading(*result.written);
    const QStringList changes = Changes(*result.before, now);
    return lead + (result.verified ? QStringLiteral("verified") : QStringLiteral("written")) +
           QStringLiteral(" in %1 s").arg(result.seconds, 0, 'f', 2) +
           (changes.isEmpty() ? QStringLiteral(", nothing changed")
                              : QStringLiteral(", ") + changes.join(QStringLiteral(", ")));
}

QByteArray ReportCsv(const QList<SessionResult>& results) {
    QStringList header{"port", "device", "model"};
    for (const char* when : {"before", "after"}) {
        for (const RadioField field : AllRadioFields) {
            header << QStringLiteral("%1_%2").arg(when, FieldKey(field));
        }
    }
    header << "verified"
           << "seconds"
           << "steps_written"
           << "error";
    QStringList lines{header.join(u',')};
    for (const SessionResult& result : results) {
        QStringList row{result.target.port, result.target.device, result.model};
        for (const std::optional<ShownParameters>& reading : {result.before, result.after}) {
            for (const RadioField field : AllRadioFields) {
                row << (reading ? ReadingText(field, *reading) : QString());
            }
        }
        row << (result.verified ? "yes" : "no") << QString::number(result.seconds, 'f', 3)
            << result.stepsWritten.join(u' ') << result.error;
        for (QString& field : row) field = CsvField(field);
        lines << row.join(u',');
    }
    return (lines.join(u'\n') + u'\n').toUtf8();
}

QByteArray ReportJson(const QString& profilePath, const QList<SessionResult>& results) {
    QJsonArray radios;
    for (const SessionResult& result : results) {
        radios.append(QJsonObject{
            {"port", result.target.port},
            {"device", result.target.device},
            {"model", result.model},
            {"before", ReadingOrNull(result.before)},
            {"after", ReadingOrNull(result.after)},
            {"verified", result.verified},
            {"seconds", result.seconds},
            {"steps_written", QJsonArray::fromStringList(result.stepsWritten)},
            {"error", result.error},
            {"exit_status", result.exitStatus},
        });
    }
    const QJsonObject report{
        {"format", ProfileFormat}, {"profile", profilePath}, {"radios", radios}};
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}
