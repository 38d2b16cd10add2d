#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "datatest/savedsends.h"
#include "datatest/textcodec.h"

struct StartupOptions;

// What the program remembers between runs: the language, the port last opened with the setting
// it was opened at or the radio answered at, the main window's place, the data test's send
// period, hex and line ending choices, the texts sent by hand and the saved sends. The radio's
// own parameters are never kept.
struct Preferences {
    std::optional<uint8_t> languageFlag;
    QString portDevice;  // empty: none remembered
    uint8_t baudIndex = 4;
    uint8_t parityIndex = 0;
    QByteArray windowGeometry;
    std::optional<QString> sendPeriod;
    bool receiveHex = false;
    bool sendHex = false;
    bool reconnect = false;
    LineEnding lineEnding = LineEnding::CrLf;
    QStringList sendHistory;
    QList<SavedSend> savedSends;
};

// The file the preferences are kept in. Until one is set nothing is read or written, so that
// only the program itself, and tests with a file of their own, touch the user's settings.
void SetPreferencesFile(const QString& file);
// tvrsetup/tvrsetup.conf in the user's configuration folder.
QString UserPreferencesFile();

Preferences LoadPreferences();
void ForgetPreferences();

// Forgets everything first with --reset-settings, then settles the language: --lang, else the
// remembered one, else English; it is remembered at once. Returns what was remembered.
Preferences StartPreferences(const StartupOptions& options);

// Puts what was remembered into the windows and the link. A port given on the command line
// stands instead of the remembered one, which is then neither used nor replaced.
void ApplyPreferences(const Preferences& saved, bool portOnCommandLine);

// The port open now and its setting: the next search for the radio begins there.
void RememberPort();
// The main window's place, the data test's choices and the sends.
void RememberWindow();
// Whether a port that vanished is opened again when its device is back.
void RememberReconnect(bool reconnect);
