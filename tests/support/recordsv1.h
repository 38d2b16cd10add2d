#pragma once

// A records database as the first release left it: version 1 of the tables, and its rows.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>

// Makes version 1's tables in `db` with two records, one passed and one failed; false when a
// statement failed.
inline bool MakeVersion1Records(QSqlDatabase& db) {
    const QStringList statements{
        "CREATE TABLE schema_version (version INTEGER NOT NULL)",
        "INSERT INTO schema_version (version) VALUES (1)",
        "CREATE TABLE radio_records (uid TEXT NOT NULL UNIQUE, time_utc TEXT NOT NULL, "
        "station TEXT NOT NULL, operator TEXT NOT NULL, port TEXT NOT NULL, "
        "device TEXT NOT NULL, model_code INTEGER NOT NULL, firmware TEXT NOT NULL, "
        "values_before TEXT NOT NULL, values_after TEXT NOT NULL, id_given TEXT NOT NULL, "
        "verified INTEGER NOT NULL, passed INTEGER NOT NULL, reason TEXT NOT NULL, "
        "detail TEXT NOT NULL, program_version TEXT NOT NULL)",
        "INSERT INTO radio_records VALUES ('v1-a', '2025-05-02T09:00:00.000Z', 'bench 1', "
        "'ann', 'COM1', '/dev/ttyUSB0', 66, '2.3', '{\"channel\":1}', '{\"channel\":5}', "
        "'0042', 1, 1, '', '', '1.00')",
        "INSERT INTO radio_records VALUES ('v1-b', '2025-05-02T09:01:00.000Z', 'bench 1', "
        "'ann', 'COM2', '/dev/ttyUSB1', 66, '2.1', '{}', '{}', '', 0, 0, 'old_firmware', "
        "'2.1 < 2.3', '1.00')"};
    for (const QString& statement : statements) {
        QSqlQuery query(db);
        if (!query.exec(statement)) return false;
    }
    return true;
}
