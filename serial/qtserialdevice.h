#pragma once

#include <QString>
#include <memory>

#include "serial/serialdevice.h"

// Opens a serial device through Qt SerialPort for exclusive use: a full path ("/dev/ttyUSB0",
// "/tmp/ttyRADIO") or a system port name ("ttyUSB0", "COM3"). nullptr when it is missing or
// in use. The device closes itself and emits lost() once when it vanishes.
std::unique_ptr<SerialDevice> OpenQtSerialDevice(const QString& name);
