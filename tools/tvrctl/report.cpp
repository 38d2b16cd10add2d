#include "tools/tvrctl/report.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString PortAndDevice(const SessionResult& result) {
    return QStringLiteral("%1 (%2)").arg(result.target.port, result.target.device);
}

QString SerialSetting(const WriteSelection& values) {
    return FieldText(RadioField::SerialRate, values) + u'-' + FieldText(RadioField::Parity, values);
}

QJsonValue ValuesOrNull(const std::optional<WriteSelection>& values) {
    return values ? QJsonValue(ValuesJson(*values)) : QJsonValue(QJsonValue::Null);
}

// A CSV field, quoted when it must be.
QString CsvField(QString text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n')) return text;
    return u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// What changed between two parameter sets: "channel NO.1 -> NO.5".
QStringList Changes(const WriteSelection& before, const WriteSelection& after) {
    QStringList changes;
    for (const RadioField field : DifferingFields(before, after)) {
        changes << QStringLiteral("%1 %2 -> %3")
                       .arg(FieldKey(field), FieldText(field, before), FieldText(field, after));
    }
    return changes;
}

}  // namespace

QString ParametersText(const SessionResult& result) {
    const WriteSelection& values = *result.before;
    const QList<std::pair<QString, QString>> rows{
        {"port", result.target.port},
        {"device", result.target.device},
        {"model", result.model},
        {"channel", FieldText(RadioField::Channel, values)},
        {"air rate", FieldText(RadioField::AirRate, values)},
        {"serial", SerialSetting(values)},
        {"id", FieldText(RadioField::Identity, values)},
    };
    QString text;
    for (const auto& [name, value] : rows) {
        text += QStringLiteral("%1 %2\n").arg(name + u':', -9).arg(value.isEmpty() ? "?" : value);
    }
    return text;
}

QJsonObject ParametersJson(const SessionResult& result) {
    QJsonObject object = ValuesJson(*result.before);
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
    const std::optional<WriteSelection>& now = result.after ? result.after : result.written;
    const QStringList changes = Changes(*result.before, *now);
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
        for (const std::optional<WriteSelection>& values : {result.before, result.after}) {
            for (const RadioField field : AllRadioFields) {
                row << (values ? FieldText(field, *values) : QString());
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
            {"before", ValuesOrNull(result.before)},
            {"after", ValuesOrNull(result.after)},
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
