#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

#include "serial/serialdevice.h"

// What the command line asks for before the windows are built.
struct StartupOptions {
    uint8_t languageFlag = 1;
    QStringList ports;
    // Set when the program is to print `output` and end at once with this status.
    std::optional<int> exitStatus;
    QString output;
};

StartupOptions ParseCommandLine(const QStringList& arguments);

// Opens a port by its device name; "SIM" (any case) is the built-in simulated radio.
OpenResult OpenPortDevice(const QString& name);

// Builds the windows, runs the message loop and returns its result.
int RunProgram(const StartupOptions& options);
