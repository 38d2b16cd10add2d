#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// What the command line asks for before the windows are built.
struct StartupOptions {
    uint8_t languageFlag = 1;
    QStringList ports;
    // Set when the program is to print `output` and end at once with this status.
    std::optional<int> exitStatus;
    QString output;
};

StartupOptions ParseCommandLine(const QStringList& arguments);

// Builds the windows, runs the message loop and returns its result.
int RunProgram(const StartupOptions& options);
