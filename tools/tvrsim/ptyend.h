#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "serial/serialdevice.h"

// One pseudo-terminal as tvrsim holds it: the master, where the radio sits, in packet mode so
// that the kernel reports every change of the program's line settings; and the slave, kept
// open so that the master never sees a hang-up while no program has the port open.
struct PtyEnd {
    int master = -1;
    int slave = -1;
    std::string slavePath;
    std::string link;

    PtyEnd() = default;
    PtyEnd(const PtyEnd&) = delete;
    PtyEnd& operator=(const PtyEnd&) = delete;
    ~PtyEnd();

    // Opens the pair raw at 9600 bit/s, 8N1; returns an error text, empty on success.
    std::string open();
    // Points `path` at the slave, replacing a symbolic link left by an earlier run.
    std::string makeLink(const std::string& path);
    // Removes the link if it still points at this slave.
    void removeLink();
    void close();
    // Keeps the kernel reporting setting changes if the program cleared EXTPROC.
    void restoreExtproc();
};

struct PtySettings {
    LineSettings line;
    bool extproc = false;
};

// The program's settings as the master sees them. The kernel keeps PARODD but always clears
// PARENB on a pseudo-terminal, so even parity reads back as none.
std::optional<PtySettings> ReadPtySettings(int master);
