#pragma once

#include "records/recordstore.h"
#include "tools/tvrctl/options.h"

// tvrctl history: the records of the database the options name, printed; the exit status.
int RunHistory(const CtlOptions& options);

// Why a database location is none, as tvrctl says it.
QString LocationText(LocationError error, const QString& detail);
// Why a database did not open, as tvrctl says it.
QString OpeningText(const StoreOpening& opening);
