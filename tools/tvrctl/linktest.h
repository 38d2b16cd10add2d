#pragma once

#include "tools/tvrctl/options.h"

class TerminationSignals;

// The loop-back test between two radios: --port records, --echo-port echoes, both in this
// process, until the frames asked for are evaluated. Prints the statistics row and returns
// the exit status: 0 at or above the pass mark, 8 below it.
int RunLinkTest(const CtlOptions& options, TerminationSignals& interrupts);
