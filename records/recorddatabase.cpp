#include "records/recorddatabase.h"

#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

#include "records/recordjson.h"

namespace {

// Every upgrade of every station takes this lock first, so that two stations starting at once
// upgrade one after the other.
constexpr qint64 SchemaLockKey = 0x7476725265630001;

// The columns of a record, in the order InsertRecord binds them and QueryHistory reads them.
const QStringList RecordColumns{
    "uid",          "time_utc",       "station",     "operator",       "port",
    "device",       "adapter_serial", "model_code",  "firmware",       "values_before",
    "values_after", "id_given",       "verified",    "link_sent",      "link_matched",
    "link_damaged", "link_no_reply",  "link_longer", "link_shorter",   "link_pass_percent",
    "passed",       "reason",         "detail",      "program_version"};

QString ErrorText(const QSqlQuery& query) {
    return query.lastError().text().trimmed();
}

// A statement of a transaction: false, with the database's words, when it failed.
bool Run(QSqlDatabase& db, const QString& statement, QString& detail) {
    // The driver closes a connection it found broken; a statement on it would only warn.
    if (!db.isOpen()) {
        detail = QStringLiteral("the connection is closed");
        return false;
    }
    QSqlQuery query(db);
    if (query.exec(statement)) return true;
    detail = ErrorText(query);
    return false;
}

// SQLite's plain BEGIN takes the write lock only at the first write, and a station that then
// finds another writer gets "database is locked" at once; IMMEDIATE waits for it at the start.
QString BeginStatement(SqlDialect dialect) {
    return dialect == SqlDialect::SQLite ? QStringLiteral("BEGIN IMMEDIATE")
                                         : QStringLiteral("BEGIN");
}

void RollBack(QSqlDatabase& db) {
    if (db.isOpen()) QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
}

bool TableThere(QSqlDatabase& db, SqlDialect dialect, const QString& table) {
    QSqlQuery query(db);
    query.prepare(dialect == SqlDialect::SQLite
                      ? QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND "
                                       "name = ?")
                      : QStringLiteral("SELECT 1 FROM information_schema.tables WHERE "
                                       "table_schema = current_schema() AND table_name = ?"));
    query.addBindValue(table);
    return query.exec() && query.next();
}

// The tables of the first version: the record as it was before link tests and adapters'
// serial numbers were kept, and before IDs were given from a range.
const QStringList CreateVersion1{
    "CREATE TABLE schema_version (version INTEGER NOT NULL)",
    "INSERT INTO schema_version (version) VALUES (1)",
    "CREATE TABLE radio_records (uid TEXT NOT NULL UNIQUE, time_utc TEXT NOT NULL, "
    "station TEXT NOT NULL, operator TEXT NOT NULL, port TEXT NOT NULL, device TEXT NOT NULL, "
    "model_code INTEGER NOT NULL, firmware TEXT NOT NULL, values_before TEXT NOT NULL, "
    "values_after TEXT NOT NULL, id_given TEXT NOT NULL, verified INTEGER NOT NULL, "
    "passed INTEGER NOT NULL, reason TEXT NOT NULL, detail TEXT NOT NULL, "
    "program_version TEXT NOT NULL)"};

// Version 2: the adapter's serial number and the link test's figures (none for a radio that
// had no link test), the time index history is read by, and the IDs given from ranges.
const QStringList UpgradeTo2{
    "ALTER TABLE radio_records ADD COLUMN adapter_serial TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE radio_records ADD COLUMN link_sent INTEGER",
    "ALTER TABLE radio_records ADD COLUMN link_matched INTEGER",
    "ALTER TABLE radio_records ADD COLUMN link_damaged INTEGER",
    "ALTER TABLE radio_records ADD COLUMN link_no_reply INTEGER",
    "ALTER TABLE radio_records ADD COLUMN link_longer INTEGER",
    "ALTER TABLE radio_records ADD COLUMN link_shorter INTEGER",
    "ALTER TABLE radio_records ADD COLUMN link_pass_percent DOUBLE PRECISION",
    "CREATE INDEX radio_records_time ON radio_records (time_utc)",
    "CREATE TABLE ids_given (id INTEGER PRIMARY KEY, station TEXT NOT NULL, "
    "given_utc TEXT NOT NULL)",
    "UPDATE schema_version SET version = 2"};

// The steps from each version to the next, the first from none.
const QList<QStringList> SchemaSteps{CreateVersion1, UpgradeTo2};

SchemaOutcome Failed(const QString& detail, int versionFound = 0) {
    return {SchemaOutcome::Failure::Failed, versionFound, detail};
}

QVariant NullableInt(const std::optional<LinkFigures>& link, int LinkFigures::*field) {
    return link ? QVariant(link.value().*field) : QVariant(QMetaType::fromType<int>());
}

QString CompactJson(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject ObjectFromText(const QString& text) {
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

RadioRecord RecordOfRow(const QSqlQuery& row) {
    const auto text = [&](int column) { return row.value(column).toString(); };
    RadioRecord record;
    record.uid = text(0);
    record.timeUtc = TimeFromStored(text(1));
    record.station = text(2);
    record.operatorName = text(3);
    record.port = text(4);
    record.device = text(5);
    record.adapterSerial = text(6);
    record.modelCode = row.value(7).toInt();
    record.firmware = text(8);
    record.before = ObjectFromText(text(9));
    record.after = ObjectFromText(text(10));
    record.idGiven = text(11);
    record.verified = row.value(12).toInt() != 0;
    if (!row.isNull(13)) {
        record.link =
            LinkFigures{row.value(13).toInt(),   row.value(14).toInt(), row.value(15).toInt(),
                        row.value(16).toInt(),   row.value(17).toInt(), row.value(18).toInt(),
                        row.value(19).toDouble()};
    }
    record.passed = row.value(20).toInt() != 0;
    record.reason = text(21);
    record.detail = text(22);
    record.programVersion = text(23);
    return record;
}

}  // namespace

SchemaOutcome PrepareSchema(QSqlDatabase& db, SqlDialect dialect) {
    QString detail;
    if (!Run(db, BeginStatement(dialect), detail)) return Failed(detail);
    if (dialect == SqlDialect::PostgreSQL &&
        !Run(db, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(SchemaLockKey), detail)) {
        RollBack(db);
        return Failed(detail);
    }
    int version = 0;
    if (TableThere(db, dialect, QStringLiteral("schema_version"))) {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) ||
            !query.next()) {
            detail = ErrorText(query);
            RollBack(db);
            return Failed(detail);
        }
        version = query.value(0).toInt();
    }
    if (version > CurrentSchemaVersion) {
        RollBack(db);
        return {SchemaOutcome::Failure::NewerSchema, version, {}};
    }
    for (int step = version; step < CurrentSchemaVersion; ++step) {
        for (const QString& statement : SchemaSteps[step]) {
            if (!Run(db, statement, detail)) {
                RollBack(db);
                return Failed(detail, version);
            }
        }
    }
    if (!Run(db, QStringLiteral("COMMIT"), detail)) {
        RollBack(db);
        return Failed(detail, version);
    }
    return {SchemaOutcome::Failure::None, version, {}};
}

SqlOutcome InsertRecord(QSqlDatabase& db, SqlDialect dialect, const RadioRecord& record) {
    QString detail;
    if (!Run(db, BeginStatement(dialect), detail)) return {false, detail};
    QSqlQuery insert(db);
    QStringList marks;
    for (qsizetype i = 0; i < RecordColumns.size(); ++i) marks << QStringLiteral("?");
    insert.prepare(QStringLiteral("INSERT INTO radio_records (%1) VALUES (%2) "
                                  "ON CONFLICT (uid) DO NOTHING")
                       .arg(RecordColumns.join(u','), marks.join(u',')));
    const std::optional<LinkFigures>& link = record.link;
    for (const QVariant& value :
         QVariantList{record.uid,
                      StoredTime(record.timeUtc),
                      record.station,
                      record.operatorName,
                      record.port,
                      record.device,
                      record.adapterSerial,
                      record.modelCode,
                      record.firmware,
                      CompactJson(record.before),
                      CompactJson(record.after),
                      record.idGiven,
                      int(record.verified),
                      NullableInt(link, &LinkFigures::sent),
                      NullableInt(link, &LinkFigures::matched),
                      NullableInt(link, &LinkFigures::damaged),
                      NullableInt(link, &LinkFigures::noReply),
                      NullableInt(link, &LinkFigures::longer),
                      NullableInt(link, &LinkFigures::shorter),
                      link ? QVariant(link->passPercent) : QVariant(QMetaType::fromType<double>()),
                      int(record.passed),
                      record.reason,
                      record.detail,
                      record.programVersion}) {
        // A null QString binds as NULL; an empty text is still a text.
        const bool nullText = value.typeId() == QMetaType::QString && value.toString().isNull();
        insert.addBindValue(nullText ? QVariant(QStringLiteral("")) : value);
    }
    if (!insert.exec()) {
        detail = ErrorText(insert);
        RollBack(db);
        return {false, detail};
    }
    if (!Run(db, QStringLiteral("COMMIT"), detail)) {
        RollBack(db);
        return {false, detail};
    }
    return {};
}

IdAllocation TakeLowestFreeId(QSqlDatabase& db, SqlDialect dialect, const IdRange& range,
                              const QString& station) {
    const auto failed = [&](const QString& detail) {
        RollBack(db);
        return IdAllocation{std::nullopt, IdAllocation::Failure::StoreFailed, detail};
    };
    // Each try that finds its ID taken meanwhile finds that ID taken in the next, so no more
    // tries than IDs are needed.
    for (int attempt = 0; attempt <= range.last - range.first; ++attempt) {
        QString detail;
        if (!Run(db, BeginStatement(dialect), detail)) return failed(detail);
        QSqlQuery taken(db);
        taken.setForwardOnly(true);
        taken.prepare(
            QStringLiteral("SELECT id FROM ids_given WHERE id >= ? AND id <= ? ORDER BY id"));
        taken.addBindValue(range.first);
        taken.addBindValue(range.last);
        if (!taken.exec()) return failed(ErrorText(taken));
        int lowest = range.first;
        while (taken.next() && taken.value(0).toInt() == lowest) ++lowest;
        if (lowest > range.last) {
            RollBack(db);
            return {std::nullopt, IdAllocation::Failure::RangeUsedUp, {}};
        }
        QSqlQuery take(db);
        take.prepare(
            QStringLiteral("INSERT INTO ids_given (id, station, given_utc) VALUES "
                           "(?, ?, ?) ON CONFLICT (id) DO NOTHING"));
        take.addBindValue(lowest);
        take.addBindValue(station.isNull() ? QStringLiteral("") : station);
        take.addBindValue(StoredTime(QDateTime::currentDateTimeUtc()));
        if (!take.exec()) return failed(ErrorText(take));
        const bool ours = take.numRowsAffected() == 1;
        if (!Run(db, QStringLiteral("COMMIT"), detail)) return failed(detail);
        if (ours) return {IdText(lowest), IdAllocation::Failure::None, {}};
    }
    return {std::nullopt, IdAllocation::Failure::RangeUsedUp, {}};
}

HistoryAnswer QueryHistory(QSqlDatabase& db, const HistoryFilter& filter) {
    QStringList conditions;
    QVariantList values;
    if (filter.since) {
        conditions << QStringLiteral("time_utc >= ?");
        values << StoredTime(*filter.since);
    }
    if (filter.until) {
        conditions << QStringLiteral("time_utc < ?");
        values << StoredTime(*filter.until);
    }
    if (filter.result != HistoryFilter::Result::Any) {
        conditions << QStringLiteral("passed = ?");
        values << int(filter.result == HistoryFilter::Result::Pass);
    }
    if (!filter.idGiven.isEmpty()) {
        conditions << QStringLiteral("id_given = ?");
        values << filter.idGiven;
    }
    if (filter.modelCode) {
        conditions << QStringLiteral("model_code = ?");
        values << *filter.modelCode;
    }
    const int most = std::clamp(filter.maxRows, 0, MaxHistoryRows);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM radio_records%2 ORDER BY time_utc DESC, uid DESC "
                                 "LIMIT %3")
                      .arg(RecordColumns.join(u','),
                           conditions.isEmpty() ? QString()
                                                : QStringLiteral(" WHERE ") +
                                                      conditions.join(QStringLiteral(" AND ")))
                      .arg(most + 1));
    for (const QVariant& value : values) query.addBindValue(value);
    HistoryAnswer answer;
    if (!query.exec()) {
        answer.failure = HistoryAnswer::Failure::QueryFailed;
        answer.detail = ErrorText(query);
        return answer;
    }
    while (query.next()) {
        if (answer.records.size() == most) {
            answer.more = true;
            break;
        }
        answer.records << RecordOfRow(query);
    }
    return answer;
}

bool ConnectionAlive(QSqlDatabase& db) {
    // The driver may have closed a connection it found broken.
    if (!db.isOpen()) return false;
    QSqlQuery probe(db);
    return probe.exec(QStringLiteral("SELECT 1"));
}
