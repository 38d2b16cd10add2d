#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// COMn, as the port list and the scan name it, stands for the n-th serial port of the system at
// the moment of the open: the devices pinned with --port first, then the system's ports. On
// Windows the system's ports are COM1, COM2, ... themselves; elsewhere they are enumerated,
// USB and ACM adapters first, then on-board ports, each group in natural name order.

// One enumerated port: its device path and whether it sits behind a USB or ACM adapter.
struct SerialPortCandidate {
    QString location;
    bool adapter = false;
};

// Adapters first, then the rest, each group in natural order ("ttyUSB2" before "ttyUSB10").
QStringList OrderSerialPorts(QList<SerialPortCandidate> ports);

// The devices given with --port, in order. Names are opaque: the opener decides what they mean.
void SetPinnedPorts(const QStringList& devices);
QStringList PinnedPorts();

#ifndef Q_OS_WIN
// Pinned devices, then the ports the system has now (without the pinned ones again).
QStringList SerialPortDevices();

// Lists the system's ports as they are now, in any order.
using PortEnumerator = std::function<QList<SerialPortCandidate>()>;
// Replaces the system's enumeration (tests); an empty function puts it back.
void SetPortEnumerator(PortEnumerator enumerator);
#endif

// The devices COM1 to COMcount stand for now; an empty text where there is no such port.
QStringList DevicesForPorts(int count);

// The device COMn stands for now; empty when there is no n-th port.
QString DeviceForPort(int n);
