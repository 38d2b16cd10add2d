#pragma once

// A profile: the radio parameters to give one radio or many, kept as a JSON file. It holds a
// format number and any of "channel", "air_rate", "serial_rate", "parity" and "id"; what it
// leaves out stays as the radio has it.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonObject>
#include <QString>
#include <optional>

#include "radio/paramcodec.h"
#include "radio/paramtext.h"

inline constexpr int ProfileFormat = 1;

// List positions and the four identity digits.
struct RadioProfile {
    std::optional<int> channelPosition;
    std::optional<int> airRatePosition;
    std::optional<int> serialRatePosition;
    std::optional<int> parityPosition;
    std::optional<QString> id;
    friend bool operator==(const RadioProfile&, const RadioProfile&) = default;
};

// A profile, or why there is none: the key at fault, or the line and column of bad JSON.
struct ProfileResult {
    std::optional<RadioProfile> profile;
    QString error;
};

// Every value is checked against the radio's lists; an unknown key is refused by name.
ProfileResult ParseProfile(const QByteArray& text);
// The same checks of an object already parsed.
ProfileResult ProfileFromJson(const QJsonObject& object);
// ParseProfile of a file's contents; the error starts with the file's name. Only a regular
// file of at most 1 MiB is read, and nothing waits: a FIFO, a terminal or a device is refused
// by name, and a read that outlasts the deadline gives up.
ProfileResult LoadProfileFile(const QString& path,
                              QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever));
// The profile as indented JSON, its keys in alphabetical order.
QByteArray ProfileJson(const RadioProfile& profile);
// Writes the file whole or not at all; returns why not, empty on success.
QString SaveProfileFile(const QString& path, const RadioProfile& profile);

// The values of the selection that the lists know; the rest is left out.
RadioProfile ProfileOf(const WriteSelection& values);
// The selection with the profile's values put in.
WriteSelection WithProfile(WriteSelection values, const RadioProfile& profile);

// The profile keys of every field, each with its value in profile form (a number for channel
// and serial rate, a text for the others), or null where the selection has none the lists
// know.
QJsonObject ValuesJson(const WriteSelection& values);
