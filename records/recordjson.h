#pragma once

// A record as one JSON object: how it waits in the outbox and how history is written as JSON.
// The keys are the database's column names.

#include <QJsonObject>
#include <optional>

#include "records/radiorecord.h"

QJsonObject RecordJson(const RadioRecord& record);
// None when the object is not a record: a key missing or of the wrong type.
std::optional<RadioRecord> RecordFromJson(const QJsonObject& object);
// The record's time as it is stored: UTC with milliseconds, "2026-03-01T08:15:02.125Z", which
// sorts as the time does.
QString StoredTime(const QDateTime& time);
QDateTime TimeFromStored(const QString& text);
