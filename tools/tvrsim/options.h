#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/simulatedradio.h"

struct SimToolOptions {
    std::string link;      // symlink to the first pseudo-terminal; empty: none
    std::string pairLink;  // symlink to the second one; empty: no second radio
    RadioParameters radio;
    LinkOptions air;
    RadioFaults faults;
    std::optional<int> vanishAfterMs;
    std::string logPath;
};

struct SimToolArgs {
    std::optional<SimToolOptions> options;  // empty with an error, a help or version request
    bool help = false;
    bool version = false;
    std::string error;
};

// The command line without the program name.
SimToolArgs ParseSimToolArgs(const std::vector<std::string>& args);
std::string SimToolUsage();
// "tvrsim 1.02\n"
std::string SimToolVersion();
