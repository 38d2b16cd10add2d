#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

#include "serial/serialdevice.h"

class QApplication;

// What the command line asks for before the windows are built.
struct StartupOptions {
    // Empty when --lang was not given: the remembered language, or English, applies.
    std::optional<uint8_t> languageFlag;
    QStringList ports;
    // Forget every remembered preference before starting.
    bool resetSettings = false;
    // Set when the program is to print `output` and end at once with this status.
    std::optional<int> exitStatus;
    QString output;
};

// The name and version that --version and the desktop know the program by.
void ConfigureApplication();

StartupOptions ParseCommandLine(const QStringList& arguments);

// Whether a window system is named: a display, or a platform chosen with QT_QPA_PLATFORM.
bool DisplayNamed();
// The one line printed, before ending with status 2, when no display can be used.
QString NoDisplayText();
// The application object. A display that is named but cannot be reached ends the process with
// NoDisplayText() and status 2 instead of an abort.
std::unique_ptr<QApplication> CreateApplication(int& argc, char** argv);

// Opens a port by its device name; "SIM" (any case) is the built-in simulated radio.
OpenResult OpenPortDevice(const QString& name);

// Builds the windows, runs the message loop and returns its result.
int RunProgram(const StartupOptions& options);
