#include "tools/tvrctl/report.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

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

// A value as a spreadsheet takes it: the profile's value (a number for channel and serial
// rate), or the radio's own where no list knows it.
QString CsvValue(RadioField field, const ShownParameters& reading) {
    if (field == RadioField::Channel) return QString::number(reading.raw.channel);
    const QJsonValue value = ValuesJson(AsWriteSelection(reading))[FieldKey(field)];
    return value.isNull() ? RawValue(field, reading.raw) : value.toVariant().toString();
}

QString IsoTime(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODate);
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

QString PortLabel(const PortTarget& target) {
    if (target.device.isEmpty()) return target.port;
    return QStringLiteral("%1 (%2)").arg(target.port, target.device);
}

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
    if (!result.before) return PortLabel(result.target) + QStringLiteral(": ") + result.error;
    return QStringLiteral("%1: %2 %3")
        .arg(PortLabel(result.target), SerialSetting(*result.before), result.model);
}

QJsonObject ScanJson(const SessionResult& result) {
    const QString& device = result.target.device;
    QJsonObject object{{"port", result.target.port},
                       {"device", device.isEmpty() ? QJsonValue(QJsonValue::Null) : device},
                       {"serial_rate", QJsonValue::Null},
                       {"parity", QJsonValue::Null},
                       {"model", QJsonValue::Null},
                       {"exit_status", result.exitStatus},
                       {"error", result.error}};
    if (result.before) {
        const QJsonObject values = ValuesJson(AsWriteSelection(*result.before));
        object["serial_rate"] = values["serial_rate"];
        object["parity"] = values["parity"];
        object["model"] = result.model;
    }
    return object;
}

QString OutcomeText(const SessionResult& result) {
    const QString lead = PortLabel(result.target) + QStringLiteral(": ");
    if (result.exitStatus != 0) return lead + result.error;
    // Unverified, the radio is taken to hold what its frames carried.
    const ShownParameters now = result.after ? *result.after : ExpectedReading(*result.written);
    const QStringList changes = Changes(*result.before, now);
    return lead + (result.verified ? QStringLiteral("verified") : QStringLiteral("written")) +
           QStringLiteral(" in %1 s").arg(result.seconds, 0, 'f', 2) +
           (changes.isEmpty() ? QStringLiteral(", nothing changed")
                              : QStringLiteral(", ") + changes.join(QStringLiteral(", ")));
}

QByteArray ReportCsv(const ReportRun& run, const QList<SessionResult>& results) {
    QStringList header{"port", "device", "model"};
    for (const char* when : {"before", "after"}) {
        for (const RadioField field : AllRadioFields) {
            header << QStringLiteral("%1_%2").arg(when, FieldKey(field));
        }
    }
    header << "verified"
           << "exit_status"
           << "seconds"
           << "steps_written"
           << "error"
           << "started"
           << "version"
           << "host"
           << "operator";
    QStringList lines{header.join(u',')};
    for (const SessionResult& result : results) {
        QStringList row{result.target.port, result.target.device, result.model};
        for (const std::optional<ShownParameters>& reading : {result.before, result.after}) {
            for (const RadioField field : AllRadioFields) {
                row << (reading ? CsvValue(field, *reading) : QString());
            }
        }
        row << (result.verified ? "yes" : "no") << QString::number(result.exitStatus)
            << QString::number(result.seconds, 'f', 3) << result.stepsWritten.join(u' ')
            << result.error << IsoTime(run.started) << run.version << run.host << run.operatorName;
        for (QString& field : row) field = CsvField(field);
        lines << row.join(u',');
    }
    return (lines.join(u'\n') + u'\n').toUtf8();
}

QByteArray ReportJson(const ReportRun& run, const QList<SessionResult>& results) {
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
        {"format", ProfileFormat}, {"profile", run.profilePath}, {"started", IsoTime(run.started)},
        {"version", run.version},  {"host", run.host},           {"operator", run.operatorName},
        {"radios", radios}};
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}
