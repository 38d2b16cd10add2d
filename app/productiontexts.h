#pragma once

// What the production window says of a run: each phase, each failure and the verdict, in the
// current language.

#include <QString>
#include <optional>

#include "production/productionrun.h"
#include "records/radiorecord.h"
#include "records/recordstore.h"

QString PhaseText(ProductionPhase phase);
// The failure and what its details (the run's JSON object) say: "Wrong model: 3, expected 2".
QString FailureText(ProductionFailure failure, const QString& detail);
QString VerdictText(const ProductionRow& row);
// Why the database would not open.
QString StoreOpeningText(const StoreOpening& opening);
// Why a database location is none.
QString LocationErrorText(LocationError error, const QString& detail);

// The firmware version typed as "major.minor" as the radio's version code (major * 16 + minor);
// none for anything else.
std::optional<int> FirmwareCode(QStringView text);
