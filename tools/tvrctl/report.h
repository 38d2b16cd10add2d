#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include "tools/tvrctl/radiosession.h"

// What tvrctl prints and writes of its sessions.

// read: the parameter set as aligned lines.
QString ParametersText(const SessionResult& result);
// read --json: format, port, device, model and the parameter set.
QJsonObject ParametersJson(const SessionResult& result);
// scan: port, device, the serial setting the radio answered at, model; or why not.
QString ScanLine(const SessionResult& result);
// write, apply: how a port's write ended, with what changed or why it failed.
QString OutcomeText(const SessionResult& result);

// apply --report: per port the device, model, values before and after, verified or not, time
// taken, steps written and error.
QByteArray ReportCsv(const QList<SessionResult>& results);
QByteArray ReportJson(const QString& profilePath, const QList<SessionResult>& results);
