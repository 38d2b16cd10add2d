#pragma once

#include <functional>

// Closes the port and ends the process with status 1: the one way out of the program.
void ExitProcedure();

// Replaces the process exit, so tests can observe the status instead of ending.
void SetProcessExit(std::function<void(int)> exitFunction);
