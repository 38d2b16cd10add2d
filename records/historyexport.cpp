#include "records/historyexport.h"

#include <QJsonDocument>

#include "records/recordjson.h"

namespace {

// A text cell that no spreadsheet takes for a formula.
QString Inert(const QString& text) {
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && formulaStarts.contains(text.front())) return u'\'' + text;
    return text;
}

QString CsvCell(QString text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r')) {
        return text;
    }
    return u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString JsonText(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString Count(const std::optional<LinkFigures>& link, int LinkFigures::*field) {
    return link ? QString::number(link.value().*field) : QString();
}

}  // namespace

QByteArray HistoryCsv(const QList<RadioRecord>& records) {
    const QStringList header{
        "time_utc",       "station",       "operator",        "port",         "device",
        "adapter_serial", "model_code",    "firmware",        "id_given",     "verified",
        "passed",         "reason",        "detail",          "link_sent",    "link_matched",
        "link_damaged",   "link_no_reply", "link_longer",     "link_shorter", "link_pass_percent",
        "values_before",  "values_after",  "program_version", "uid"};
    QString text = header.join(u',') + QStringLiteral("\r\n");
    for (const RadioRecord& r : records) {
        const std::optional<LinkFigures>& link = r.link;
        const QStringList cells{StoredTime(r.timeUtc),
                                Inert(r.station),
                                Inert(r.operatorName),
                                Inert(r.port),
                                Inert(r.device),
                                Inert(r.adapterSerial),
                                r.modelCode < 0 ? QString() : QString::number(r.modelCode),
                                Inert(r.firmware),
                                Inert(r.idGiven),
                                r.verified ? QStringLiteral("yes") : QStringLiteral("no"),
                                r.passed ? QStringLiteral("PASS") : QStringLiteral("FAIL"),
                                Inert(r.reason),
                                Inert(r.detail),
                                Count(link, &LinkFigures::sent),
                                Count(link, &LinkFigures::matched),
                                Count(link, &LinkFigures::damaged),
                                Count(link, &LinkFigures::noReply),
                                Count(link, &LinkFigures::longer),
                                Count(link, &LinkFigures::shorter),
                                link ? QString::number(link->passPercent) : QString(),
                                JsonText(r.before),
                                JsonText(r.after),
                                Inert(r.programVersion),
                                Inert(r.uid)};
        QStringList quoted;
        for (const QString& cell : cells) quoted << CsvCell(cell);
        text += quoted.join(u',') + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

QByteArray HistoryJsonLines(const QList<RadioRecord>& records) {
    QByteArray lines;
    for (const RadioRecord& record : records) {
        lines += QJsonDocument(RecordJson(record)).toJson(QJsonDocument::Compact) + '\n';
    }
    return lines;
}
