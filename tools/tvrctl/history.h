#pragma once

#include "tools/tvrctl/options.h"

// tvrctl history: the records of the database the options name, printed; the exit status.
int RunHistory(const CtlOptions& options);
