#include "tools/tvrctl/options.h"

#include <QJsonObject>
#include <QRegularExpression>

#include "serial/portnames.h"

namespace {

const QStringList CommandNames{"ports", "scan", "read", "write", "save", "apply", "linktest"};

// The options each command takes besides --timeout.
QStringList OptionsOf(CtlCommand command) {
    switch (command) {
        case CtlCommand::Ports:
            return {"--port"};
        case CtlCommand::Scan:
            return {"--port", "--all"};
        case CtlCommand::Read:
            return {"--port", "--json"};
        case CtlCommand::Write:
            return {"--port", "--channel", "--air-rate", "--serial", "--id", "--no-verify"};
        case CtlCommand::Save:
            return {"--port"};
        case CtlCommand::Apply:
            return {"--port", "--all", "--report"};
        case CtlCommand::LinkTest:
            return {"--port", "--echo-port", "--frames", "--pass", "--json"};
    }
    return {};
}

bool TakesValue(const QString& option) {
    return option != "--all" && option != "--json" && option != "--no-verify";
}

CtlArgs Usage(const QString& error) {
    return {std::nullopt, CtlExit::Usage,
            QStringLiteral("tvrctl: %1\nTry 'tvrctl --help'.\n").arg(error)};
}

// "38400-even", "9600-N": the serial rate and the parity, as profile values.
bool TakeSerial(const QString& text, QJsonObject& values) {
    const QStringList parts = text.split(u'-');
    if (parts.size() != 2) return false;
    bool number = false;
    values["serial_rate"] = parts[0].toInt(&number);
    const QString parity = parts[1].toLower();
    static const QStringList letters{"n", "o", "e"};
    const qsizetype letter = letters.indexOf(parity);
    values["parity"] = letter >= 0 ? ParityNames()[letter] : parity;
    return number;
}

// A link test sends on one port and echoes on another.
CtlArgs LinkTestArgs(const CtlOptions& options) {
    if (options.ports.size() != 1 || options.echoPort.isEmpty()) {
        return Usage("'linktest' needs one --port DEVICE and one --echo-port DEVICE");
    }
    if (options.ports[0] == options.echoPort) {
        return Usage(QStringLiteral("port '%1' is given twice").arg(options.echoPort));
    }
    return {options, CtlExit::Ok, {}};
}

}  // namespace

QString CtlUsage() {
    return QStringLiteral(R"(Usage: tvrctl COMMAND [OPTION]...
Reads, writes, verifies and provisions radios from the command line, several ports at once.

Commands:
  ports                       the serial ports in COMn order: device, USB vendor:product,
                              description
  scan [--port DEVICE]... [--all]
                              search each port for a radio (every port when none is given),
                              all at once; prints the serial setting found, model and version
  read --port DEVICE... [--json]
                              the radio's whole parameter set, as text or one JSON object per
                              radio
  write --port DEVICE... [--channel N] [--air-rate R] [--serial RATE-PARITY] [--id DDDD]
        [--no-verify]         reads the radio, writes what is given and keeps the rest, then
                              reads it back and compares
  save --port DEVICE FILE     saves the radio's parameters as a profile
  apply FILE (--port DEVICE... | --all) [--report FILE.csv|FILE.json]
                              gives every port the profile's values at once, each verified
  linktest --port DEVICE --echo-port DEVICE [--frames N] [--pass P] [--json]
                              the loop-back test over two radios: DEVICE sends frames and
                              counts what comes back, the echo port returns what it receives;
                              passes when at least P percent of the frames came back whole

Options:
  --port DEVICE    a device (/dev/ttyUSB0) or COMn; the devices given are COM1, COM2, ...
                   in the order given, as with tvrsetup --port
  --all            every serial port of the system
  --json           JSON instead of text
  --channel N      1 to 12
  --air-rate R     1200 2400 4800 9600 19200 38400 76800 100KBPS 120KBPS 56000
  --serial RATE-PARITY
                   600 to 115200, none, odd or even (N, O, E): 38400-none
  --id DDDD        four digits
  --no-verify      do not read the radio back after writing
  --report FILE    per port: device, model, values before and after, verified or not,
                   time taken, steps written, error; CSV or JSON by the file's ending
  --echo-port DEVICE
                   linktest: the port of the radio that echoes
  --frames N       linktest: frames to evaluate, 1 to 10000 (default 20)
  --pass P         linktest: the percentage of frames that must come back whole, 0 to 100
                   (default 95)
  --timeout S      seconds a port may take before it is given up, 1 to 86400 (default 60;
                   linktest: no limit unless given)
  --help           show this text
  --version        show the version

Exit status: 0 ok, 1 usage, 2 port error, 3 no radio found, 4 read or write failed,
5 verify mismatch, 6 bad profile, 7 report or profile not written, 8 link test below the pass
mark; with several ports, the highest any port ended with. Ended by SIGINT, SIGTERM or
SIGHUP: 130, 143 or 129, after the write step on the wire has ended, the report written and
every port closed.
)");
}

QString OptionOf(RadioField field) {
    switch (field) {
        case RadioField::AirRate:
            return QStringLiteral("--air-rate");
        case RadioField::Identity:
            return QStringLiteral("--id");
        case RadioField::Channel:
            return QStringLiteral("--channel");
        case RadioField::SerialRate:
        case RadioField::Parity:
            break;
    }
    return QStringLiteral("--serial");
}

CtlArgs ParseCtlArgs(const QStringList& args) {
    if (args.contains("--help") || args.contains("-h")) {
        return {std::nullopt, CtlExit::Ok, CtlUsage()};
    }
    if (args.contains("--version")) {
        return {std::nullopt, CtlExit::Ok, QStringLiteral("tvrctl %1\n").arg(TVR_VERSION)};
    }
    if (args.isEmpty()) return Usage("no command given");
    const qsizetype commandIndex = CommandNames.indexOf(args[0]);
    if (commandIndex < 0) return Usage(QStringLiteral("unknown command '%1'").arg(args[0]));
    CtlOptions options;
    options.command = static_cast<CtlCommand>(commandIndex);
    const QStringList accepted = OptionsOf(options.command) << "--timeout";
    QJsonObject values{{"format", ProfileFormat}};
    QStringList positional;

    for (qsizetype i = 1; i < args.size(); ++i) {
        QString name = args[i];
        std::optional<QString> value;
        if (!name.startsWith("--")) {
            positional << name;
            continue;
        }
        if (const qsizetype eq = name.indexOf(u'='); eq > 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
        }
        if (!accepted.contains(name)) {
            return Usage(QStringLiteral("'%1' takes no option %2").arg(args[0], name));
        }
        if (!TakesValue(name)) {
            if (value) return Usage(QStringLiteral("option %1 takes no value").arg(name));
        } else if (!value) {
            if (i + 1 >= args.size()) return Usage(QStringLiteral("%1 needs a value").arg(name));
            value = args[++i];
        }
        const QString bad = QStringLiteral("bad value '%1' for %2").arg(value.value_or(""), name);
        if (name == "--port") {
            if (value->isEmpty()) return Usage(bad);
            options.ports << *value;
        } else if (name == "--all") {
            options.all = true;
        } else if (name == "--json") {
            options.json = true;
        } else if (name == "--no-verify") {
            options.verify = false;
        } else if (name == "--report") {
            if (!value->endsWith(".csv") && !value->endsWith(".json")) {
                return Usage(bad + ": the report's name ends in .csv or .json");
            }
            options.reportPath = *value;
        } else if (name == "--echo-port") {
            if (value->isEmpty() || !options.echoPort.isEmpty()) return Usage(bad);
            options.echoPort = *value;
        } else if (name == "--frames") {
            bool number = false;
            options.frames = value->toInt(&number);
            if (!number || options.frames < 1 || options.frames > MaxLinkTestFrames) {
                return Usage(bad + QStringLiteral(": 1 to %1 frames").arg(MaxLinkTestFrames));
            }
        } else if (name == "--pass") {
            bool number = false;
            options.passPercent = value->toDouble(&number);
            if (!number || !(options.passPercent >= 0 && options.passPercent <= 100)) {
                return Usage(bad + ": a percentage from 0 to 100");
            }
        } else if (name == "--timeout") {
            options.timeoutGiven = true;
            bool number = false;
            options.timeoutSeconds = value->toInt(&number);
            if (!number || options.timeoutSeconds < 1 ||
                options.timeoutSeconds > MaxTimeoutSeconds) {
                return Usage(bad + QStringLiteral(": seconds from 1 to %1").arg(MaxTimeoutSeconds));
            }
        } else if (name == "--channel") {
            bool number = false;
            values["channel"] = value->toInt(&number);
            if (!number) return Usage(bad);
        } else if (name == "--air-rate") {
            values["air_rate"] = *value;
        } else if (name == "--id") {
            values["id"] = *value;
        } else if (name == "--serial") {
            if (!TakeSerial(*value, values)) return Usage(bad);
        }
    }

    const ProfileResult changes = ProfileFromJson(values);
    if (!changes.profile) return Usage(changes.error);
    options.changes = *changes.profile;

    const bool takesFile =
        options.command == CtlCommand::Save || options.command == CtlCommand::Apply;
    if (positional.size() > (takesFile ? 1 : 0)) {
        return Usage(QStringLiteral("unexpected argument '%1'").arg(positional.last()));
    }
    if (takesFile) {
        if (positional.isEmpty()) return Usage(QStringLiteral("'%1' needs a FILE").arg(args[0]));
        options.file = positional[0];
    }
    const bool needsPort = options.command == CtlCommand::Read ||
                           options.command == CtlCommand::Write ||
                           options.command == CtlCommand::Save;
    if (needsPort && options.ports.isEmpty()) {
        return Usage(QStringLiteral("'%1' needs --port DEVICE").arg(args[0]));
    }
    if (options.command == CtlCommand::Save && options.ports.size() > 1) {
        return Usage("'save' takes one --port");
    }
    if (options.command == CtlCommand::Apply && options.ports.isEmpty() == !options.all) {
        return Usage("'apply' needs either --port DEVICE... or --all");
    }
    if (options.command == CtlCommand::LinkTest) return LinkTestArgs(options);
    return {options, CtlExit::Ok, {}};
}

std::optional<int> ComNumber(const QString& port) {
    static const QRegularExpression com(QStringLiteral("^COM([1-9][0-9]*)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = com.match(port);
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toInt();
}

void PinGivenDevices(const QStringList& ports) {
    QStringList devices;
    for (const QString& port : ports) {
        if (!ComNumber(port)) devices << port;
    }
    SetPinnedPorts(devices);
}
