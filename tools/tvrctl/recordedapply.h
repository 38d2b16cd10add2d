#pragma once

#include "production/radiosession.h"
#include "tools/tvrctl/options.h"

class TerminationSignals;

// apply as a production station: every port given the profile with the ID its radio is due, read
// back, link-tested against a reference radio when asked, and recorded in the database, as the
// production window does. A line per radio as it ends; returns the exit status.
int RunRecordedApply(const CtlOptions& options, const RadioProfile& profile,
                     const QList<PortTarget>& targets, const QString& operatorName,
                     TerminationSignals& interrupts);
