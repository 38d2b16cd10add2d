#pragma once

#include <QByteArray>
#include <QLoggingCategory>

// What the program can tell about its work, off unless switched on from outside, for example
// QT_LOGGING_RULES="tvr.*.debug=true" for everything.
Q_DECLARE_LOGGING_CATEGORY(lcSerial)   // tvr.serial: opening, settings, purges, loss
Q_DECLARE_LOGGING_CATEGORY(lcProto)    // tvr.proto: every command frame and reply
Q_DECLARE_LOGGING_CATEGORY(lcFactory)  // tvr.factory: the factory window's exchanges

// Bytes as upper-case hexadecimal pairs separated by spaces.
QByteArray HexDump(const uint8_t* bytes, qsizetype n);
