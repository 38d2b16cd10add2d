#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QString>

// Opens a regular file for reading; anything else (a FIFO, a terminal, a device) is refused
// without waiting on it. Returns why it is not open, empty when it is.
QString OpenRegularFile(const QString& path, QFile& file);

// Reads the open file whole, in pieces, giving up past `most` bytes or the deadline. Returns
// why it gave up, empty when `text` holds the file.
QString ReadWholeFile(QFile& file, qint64 most, QDeadlineTimer deadline, QByteArray& text);
