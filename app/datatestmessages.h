#pragma once

#include "datatest/datatestengine.h"

// Tells the user how a data test action ended, in the current language; nothing when it was
// done.
void ShowDataTestOutcome(const DataTestResult& result);
