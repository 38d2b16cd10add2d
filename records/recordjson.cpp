#include "records/recordjson.h"

#include <QJsonValue>
#include <QTimeZone>

namespace {

QJsonValue LinkJson(const std::optional<LinkFigures>& link) {
    if (!link) return QJsonValue::Null;
    return QJsonObject{{"sent", link->sent},
                       {"matched", link->matched},
                       {"damaged", link->damaged},
                       {"no_reply", link->noReply},
                       {"longer", link->longer},
                       {"shorter", link->shorter},
                       {"pass_percent", link->passPercent}};
}

bool IsWholeNumber(const QJsonValue& value) {
    return value.isDouble() && value.toDouble() == double(value.toInteger());
}

std::optional<LinkFigures> LinkFromJson(const QJsonObject& object) {
    LinkFigures link;
    for (const auto& [key, field] :
         std::initializer_list<std::pair<const char*, int*>>{{"sent", &link.sent},
                                                             {"matched", &link.matched},
                                                             {"damaged", &link.damaged},
                                                             {"no_reply", &link.noReply},
                                                             {"longer", &link.longer},
                                                             {"shorter", &link.shorter}}) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!IsWholeNumber(value)) return std::nullopt;
        *field = value.toInt();
    }
    if (!object.value("pass_percent").isDouble()) return std::nullopt;
    link.passPercent = object.value("pass_percent").toDouble();
    return link;
}

}  // namespace

QString StoredTime(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QDateTime TimeFromStored(const QString& text) {
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : QDateTime();
}

QJsonObject RecordJson(const RadioRecord& record) {
    return {{"uid", record.uid},
            {"time_utc", StoredTime(record.timeUtc)},
            {"station", record.station},
            {"operator", record.operatorName},
            {"port", record.port},
            {"device", record.device},
            {"adapter_serial", record.adapterSerial},
            {"model_code", record.modelCode},
            {"firmware", record.firmware},
            {"values_before", record.before},
            {"values_after", record.after},
            {"id_given", record.idGiven},
            {"verified", record.verified},
            {"link", LinkJson(record.link)},
            {"passed", record.passed},
            {"reason", record.reason},
            {"detail", record.detail},
            {"program_version", record.programVersion}};
}

std::optional<RadioRecord> RecordFromJson(const QJsonObject& object) {
    RadioRecord record;
    for (const auto& [key, field] : std::initializer_list<std::pair<const char*, QString*>>{
             {"uid", &record.uid},
             {"station", &record.station},
             {"operator", &record.operatorName},
             {"port", &record.port},
             {"device", &record.device},
             {"adapter_serial", &record.adapterSerial},
             {"firmware", &record.firmware},
             {"id_given", &record.idGiven},
             {"reason", &record.reason},
             {"detail", &record.detail},
             {"program_version", &record.programVersion}}) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isString()) return std::nullopt;
        *field = value.toString();
    }
    record.timeUtc = TimeFromStored(object.value("time_utc").toString());
    const QJsonValue model = object.value("model_code");
    const QJsonValue link = object.value("link");
    if (!record.timeUtc.isValid() || record.uid.isEmpty() || !IsWholeNumber(model) ||
        !object.value("values_before").isObject() || !object.value("values_after").isObject() ||
        !object.value("verified").isBool() || !object.value("passed").isBool() ||
        !(link.isNull() || link.isObject())) {
        return std::nullopt;
    }
    record.modelCode = model.toInt();
    record.before = object.value("values_before").toObject();
    record.after = object.value("values_after").toObject();
    record.verified = object.value("verified").toBool();
    record.passed = object.value("passed").toBool();
    if (link.isObject()) {
        record.link = LinkFromJson(link.toObject());
        if (!record.link) return std::nullopt;
    }
    return record;
}
