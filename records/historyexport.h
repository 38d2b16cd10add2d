#pragma once

// Records written out for others to read: CSV for a spreadsheet, one JSON object per line for
// programs.

#include <QByteArray>
#include <QList>

#include "records/radiorecord.h"

// RFC 4180: a header line, then a line per record, CRLF after each. A text that starts as a
// spreadsheet formula would (=, +, -, @, a tab or a carriage return) gets a leading ' so that
// a device name or a detail that came from a device is shown, not run.
QByteArray HistoryCsv(const QList<RadioRecord>& records);
// One compact JSON object per record (RecordJson), a line each.
QByteArray HistoryJsonLines(const QList<RadioRecord>& records);
