#pragma once

#include <functional>

// Remembers the window's place and the data test's choices, closes the port and ends the process
// with status 1: the one way out of the program.
void ExitProcedure();

// Replaces the process exit, so tests can observe the status instead of ending.
void SetProcessExit(std::function<void(int)> exitFunction);

// From now on SIGINT, SIGTERM and SIGHUP (a closed terminal, a logout) take the way out of
// ExitProcedure, so that the port is closed and its lock released.
void ExitOnTerminationSignals();
