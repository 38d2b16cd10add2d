#pragma once

#include <QString>

#include "serial/serialdevice.h"

// Opens a serial device through Qt SerialPort for exclusive use: a full path ("/dev/ttyUSB0",
// "/tmp/ttyRADIO") or a system port name ("ttyUSB0", "COM3"). Besides Qt's lock file and the
// terminal's exclusive mode, a Unix device is locked with flock(), as other serial programs do;
// one that another program has locked is in use, and is neither set nor written to. Closing the
// device gives all of them up. The port lives in a thread of its own that feeds the driver
// from the send queue; what arrives is read at once (on Unix by a reader thread of its own), so
// the window's thread never waits for the device; settings, purge and close wait for the port's
// thread at most 200 ms (an open 5 s), after which the port is lost. The device closes itself
// and emits lost() once when it vanishes.
OpenResult OpenQtSerialDevice(const QString& name);

// How big the two buffers between the window's thread and the port's thread are.
inline constexpr int64_t ReceiveBufferBytes = 4 * 1024 * 1024;
inline constexpr int64_t SendQueueBytes = 4 * 1024 * 1024;

// The kind of an open failure from what the system says of the device and what the open
// reported: a device that exists and may be opened but still refuses is in use.
enum class QtOpenError { None, Permission, NotFound, Other };
OpenFailure ClassifyOpenFailure(bool exists, bool accessible, QtOpenError error);
