#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include "production/radiosession.h"

// What tvrctl prints and writes of its sessions.

// "COM1 (/dev/ttyUSB0)"; the port alone when no device stands behind it.
QString PortLabel(const PortTarget& target);

// read: the parameter set as aligned lines.
QString ParametersText(const SessionResult& result);
// read --json: format, port, device, model and the parameter set.
QJsonObject ParametersJson(const SessionResult& result);
// scan: port, device, the serial setting the radio answered at, model; or why not.
QString ScanLine(const SessionResult& result);
// scan --json: port, device, serial rate, parity and model (null where no radio answered),
// exit status and error.
QJsonObject ScanJson(const SessionResult& result);
// write, apply: how a port's write ended, with what changed or why it failed.
QString OutcomeText(const SessionResult& result);

// Who ran apply, where and when, as its report names them.
struct ReportRun {
    QString profilePath;
    QDateTime started;
    QString version;
    QString host;
    QString operatorName;
};

// apply --report: per port the device, model, values before and after, verified or not, exit
// status, time taken, steps written and error. The CSV repeats the run's start, version, host
// and operator in every row, so that each row stands alone in a spreadsheet.
QByteArray ReportCsv(const ReportRun& run, const QList<SessionResult>& results);
QByteArray ReportJson(const ReportRun& run, const QList<SessionResult>& results);
