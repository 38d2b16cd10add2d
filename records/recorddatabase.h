#pragma once

// The records database itself, on a connection of the calling thread: its schema, a record
// written, an ID taken, the history read. Each answers at once; RecordStore runs them in a
// thread of their own.

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <optional>

#include "records/radiorecord.h"

enum class SqlDialect { SQLite, PostgreSQL };

// The version this program writes; older databases are upgraded to it.
inline constexpr int CurrentSchemaVersion = 2;

struct SchemaOutcome {
    enum class Failure { None, NewerSchema, Failed };
    Failure failure = Failure::None;
    // The version found before any upgrade, 0 for a database without the records' tables.
    int versionFound = 0;
    QString detail;
};

// Creates the tables, or upgrades them to CurrentSchemaVersion, in one transaction that no
// other station's upgrade runs beside.
SchemaOutcome PrepareSchema(QSqlDatabase& db, SqlDialect dialect);

struct SqlOutcome {
    bool ok = true;
    QString detail;
};

// The record and nothing else in one transaction; a record whose uid is there already is left
// as it is and counts as written.
SqlOutcome InsertRecord(QSqlDatabase& db, SqlDialect dialect, const RadioRecord& record);

// The lowest ID of the range not in the table of IDs given, now taken for `station`. Another
// station taking the same ID at the same moment makes it try the next.
IdAllocation TakeLowestFreeId(QSqlDatabase& db, SqlDialect dialect, const IdRange& range,
                              const QString& station);

// The most rows a history answer holds.
inline constexpr int MaxHistoryRows = 100000;

struct HistoryFilter {
    enum class Result { Any, Pass, Fail };
    // From `since` (inclusive) to `until` (exclusive); none: no bound.
    std::optional<QDateTime> since;
    std::optional<QDateTime> until;
    Result result = Result::Any;
    QString idGiven;  // empty: any
    std::optional<int> modelCode;
    int maxRows = MaxHistoryRows;
};

struct HistoryAnswer {
    // NotOpen: the store has no database open (none given, or the one given was refused).
    enum class Failure { None, NotOpen, Unreachable, QueryFailed };
    // Newest first.
    QList<RadioRecord> records;
    // More records matched than maxRows.
    bool more = false;
    Failure failure = Failure::None;
    QString detail;
};

HistoryAnswer QueryHistory(QSqlDatabase& db, const HistoryFilter& filter);

// Whether the connection still reaches its server: a failed statement on a lost connection
// looks like any other failure until the next one is tried.
bool ConnectionAlive(QSqlDatabase& db);
