#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "radio/profile.h"
#include "records/radiorecord.h"

// tvrctl's exit statuses.
namespace CtlExit {
inline constexpr int Ok = 0;
inline constexpr int Usage = 1;
inline constexpr int PortError = 2;
inline constexpr int NoRadio = 3;
inline constexpr int ExchangeFailed = 4;
inline constexpr int VerifyMismatch = 5;
inline constexpr int BadProfile = 6;
// A report or a saved profile that cannot be written.
inline constexpr int FileNotWritten = 7;
// A link test whose share of matched frames stayed below the pass mark.
inline constexpr int LinkTestFailed = 8;
// A report or a profile to save whose file is there already, without --force.
inline constexpr int FileExists = 9;
// A recorded apply: no ID left in the range, or none the database could give; the radio is
// left unwritten.
inline constexpr int CheckFailed = 10;
// history: the records database cannot be opened or read; the status of a port that fails.
inline constexpr int RecordsUnavailable = PortError;
}  // namespace CtlExit

// The longest --timeout: a day.
inline constexpr int MaxTimeoutSeconds = 86400;
// The most frames a link test evaluates, and how many it evaluates unless told.
inline constexpr int MaxLinkTestFrames = 10000;
inline constexpr int DefaultLinkTestFrames = 20;

enum class CtlCommand { Ports, Scan, Read, Write, Save, Apply, LinkTest, History };

struct CtlOptions {
    CtlCommand command = CtlCommand::Ports;
    // As given: a device, or COMn.
    QStringList ports;
    bool all = false;
    bool json = false;
    // write: the values given; the rest stays as the radio has it.
    RadioProfile changes;
    bool verify = true;
    // save: the profile to write; apply: the profile to read.
    QString file;
    QString reportPath;
    // save, apply: replace the profile or the report when it is there already.
    bool force = false;
    // apply: who ran it, for the report; empty: the user's login name.
    QString operatorName;
    int timeoutSeconds = 60;
    bool timeoutGiven = false;
    // linktest: the echo station's port, the frames to evaluate, the pass mark in percent.
    QString echoPort;
    int frames = DefaultLinkTestFrames;
    double passPercent = 95;
    // history: the records' database (empty: the default file), the first time (UTC) shown,
    // only passes or only failures, CSV instead of text.
    QString database;
    std::optional<QDateTime> since;
    std::optional<bool> passed;
    bool csv = false;
    // apply, recorded as a production station does: the station's name (empty: the host's),
    // the range the next free ID of each radio comes from, the reference station's port of a
    // link test.
    bool recorded = false;
    QString station;
    std::optional<IdRange> idRange;
    QString linkReference;
};

// Options, or the text to print and the status to exit with (help, version, a usage error).
struct CtlArgs {
    std::optional<CtlOptions> options;
    int exitStatus = CtlExit::Ok;
    QString output;
};

// The command line without the program name.
CtlArgs ParseCtlArgs(const QStringList& args);
QString CtlUsage();
// The option that gives a field's value: "--channel", "--air-rate", "--id", "--serial".
QString OptionOf(RadioField field);
// The long options a command takes, --timeout among them.
QStringList OptionsOf(CtlCommand command);
// The command names, in the order of CtlCommand.
QStringList CommandNames();

// "COM3" names the third port of the COMn order; anything else is a device.
std::optional<int> ComNumber(const QString& port);
// Puts the devices among the given ports before the others in the COMn order, as the user
// gave them.
void PinGivenDevices(const QStringList& ports);
