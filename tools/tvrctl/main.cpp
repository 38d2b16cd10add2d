// tvrctl: reads, writes, verifies and provisions radios from the command line, several ports at
// once, each with an engine of its own in one event loop.

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSerialPortInfo>
#include <QSysInfo>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/escape.h"
#include "core/language.h"
#include "core/terminationsignals.h"
#include "serial/portnames.h"
#include "serial/portopener.h"
#include "serial/porturl.h"
#include "tools/tvrctl/history.h"
#include "tools/tvrctl/linktest.h"
#include "tools/tvrctl/options.h"
#include "tools/tvrctl/recordedapply.h"
#include "tools/tvrctl/report.h"
#include "tools/tvrctl/sessionend.h"

namespace {

constexpr int ProgressRedrawMs = 100;

void PrintRaw(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// Lines whose control characters are made visible: a device name, a file name or a text from a
// device cannot act on the terminal. Line breaks stay.
QString ForTerminal(const QString& text) {
    QStringList lines = text.split(u'\n');
    for (QString& line : lines) line = EscapeControlCharacters(line);
    return lines.join(u'\n');
}

void Print(FILE* stream, const QString& text) {
    PrintRaw(stream, ForTerminal(text));
}

QStringList SystemPortDevices() {
#ifdef Q_OS_WIN
    QStringList devices = DevicesForPorts(256);
    devices.removeAll(QString());
    return devices;
#else
    return SerialPortDevices();
#endif
}

// What makes two names one port: the server's host and port of a network port (over either
// protocol), the device number of a device (whatever link or name leads to it), the file of
// anything else, the name of what is not there.
QString PortIdentity(const QString& device) {
    if (const std::optional<PortUrl> url = ParsePortUrl(device)) {
        return QStringLiteral("u%1:%2").arg(url->host.toLower()).arg(url->port);
    }
    struct stat info {};
    if (stat(QFile::encodeName(device).constData(), &info) != 0) return u'n' + device;
    if (S_ISCHR(info.st_mode)) return QStringLiteral("c%1").arg(info.st_rdev);
    return QStringLiteral("f%1:%2").arg(info.st_dev).arg(info.st_ino);
}

struct TargetList {
    QList<PortTarget> targets;
    // A port named twice.
    QString error;
};

// The devices given become COM1, COM2, ... in the order given, as with tvrsetup --port. A
// port named twice, by any of its names, is refused: its two engines would answer each other's
// replies. Every port of the system counts each device once.
TargetList Targets(const CtlOptions& options) {
    PinGivenDevices(options.ports);
    const QStringList devices = PinnedPorts();
    TargetList list;
    const bool everyPort =
        options.all || (options.command == CtlCommand::Scan && options.ports.isEmpty());
    QStringList names;
    QStringList identities;
    const auto add = [&](const QString& name, const PortTarget& target) {
        const QString identity = PortIdentity(target.device);
        const qsizetype seen = identities.indexOf(identity);
        if (seen < 0) {
            identities << identity;
            names << name;
            list.targets.append(target);
        } else if (!everyPort && list.error.isEmpty()) {
            list.error =
                names[seen] == name
                    ? QStringLiteral("port '%1' is given twice").arg(name)
                    : QStringLiteral("'%1' and '%2' are the same port").arg(names[seen], name);
        }
    };
    if (everyPort) {
        const QStringList all = SystemPortDevices();
        for (qsizetype i = 0; i < all.size(); ++i) {
            add(all[i], {QStringLiteral("COM%1").arg(list.targets.size() + 1), all[i]});
        }
        return list;
    }
    for (const QString& port : options.ports) {
        if (const std::optional<int> n = ComNumber(port)) {
            add(port, {port.toUpper(), DeviceForPort(*n)});
        } else {
            add(port, {QStringLiteral("COM%1").arg(devices.indexOf(port) + 1), port});
        }
    }
    return list;
}

// A file that is there, even as a link to nothing.
bool FileThere(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString ExistsText(const QString& path) {
    return QStringLiteral("tvrctl: %1 exists; give --force to overwrite it\n").arg(path);
}

struct Output {
    std::unique_ptr<QSaveFile> file;
    // Why there is none: FileNotWritten or FileExists.
    int exitStatus = CtlExit::Ok;
};

// A file written whole when committed, opened before any radio is touched: a run whose
// results could not be kept, or would replace a file not meant to be replaced, is refused
// before it changes anything.
Output OpenOutput(const QString& path, bool force) {
    if (QFileInfo(path).isDir()) {
        Print(stderr, QStringLiteral("tvrctl: %1: Is a directory\n").arg(path));
        return {nullptr, CtlExit::FileNotWritten};
    }
    if (!force && FileThere(path)) {
        Print(stderr, ExistsText(path));
        return {nullptr, CtlExit::FileExists};
    }
    auto file = std::make_unique<QSaveFile>(path);
    if (!file->open(QIODevice::WriteOnly)) {
        Print(stderr, QStringLiteral("tvrctl: %1: %2\n").arg(path, file->errorString()));
        return {nullptr, CtlExit::FileNotWritten};
    }
    return {std::move(file), CtlExit::Ok};
}

// Writes and commits what was opened by OpenOutput; returns Ok, or after saying why,
// FileNotWritten, or FileExists when the file came into being while the radios were worked
// on.
int CommitOutput(QSaveFile& file, const QByteArray& contents, bool force) {
    if (!force && FileThere(file.fileName())) {
        file.cancelWriting();
        Print(stderr, ExistsText(file.fileName()));
        return CtlExit::FileExists;
    }
    if (file.write(contents) == contents.size() && file.commit()) return CtlExit::Ok;
    Print(stderr, QStringLiteral("tvrctl: %1: %2\n").arg(file.fileName(), file.errorString()));
    return CtlExit::FileNotWritten;
}

// One line per port that a terminal redraws in place while the ports work.
class LiveProgress {
  public:
    explicit LiveProgress(const std::vector<std::unique_ptr<RadioSession>>& sessions)
        : sessions_(sessions) {}

    void draw() {
        QString text;
        if (drawn_) text += QStringLiteral("\x1b[%1A").arg(sessions_.size());
        for (const auto& session : sessions_) {
            const PortTarget& target = session->result().target;
            text += QStringLiteral("\x1b[2K") +
                    ForTerminal(PortLabel(target) + QStringLiteral(": ") + session->phase()) +
                    u'\n';
        }
        drawn_ = true;
        PrintRaw(stdout, text);
    }

  private:
    const std::vector<std::unique_ptr<RadioSession>>& sessions_;
    bool drawn_ = false;
};

// What a command that talks to radios works with.
struct Job {
    const CtlOptions& options;
    QList<PortTarget> targets;
    TerminationSignals& interrupts;
};

// Starts a session per target and returns their results once every one has finished. Without
// a terminal each port's outcome is a plain line as it ends; on one, a live line per port. A
// termination signal interrupts every session; each still ends with its own line.
QList<SessionResult> RunSessions(const Job& job, const std::function<void(RadioSession&)>& start,
                                 bool showOutcomes) {
    std::vector<std::unique_ptr<RadioSession>> sessions;
    for (const PortTarget& target : job.targets) {
        sessions.push_back(std::make_unique<RadioSession>(
            target, OpenNamedPort, job.options.timeoutSeconds, TellSessionEnd));
    }
    const bool live = showOutcomes && isatty(STDOUT_FILENO);
    LiveProgress progress(sessions);
    QTimer redraw;
    QEventLoop loop;
    size_t left = sessions.size();
    for (const auto& session : sessions) {
        RadioSession* s = session.get();
        QObject::connect(s, &RadioSession::finished, &loop, [&, s] {
            if (showOutcomes && !live) {
                Print(s->result().exitStatus == 0 ? stdout : stderr,
                      OutcomeText(s->result()) + u'\n');
            }
            if (--left == 0) loop.quit();
        });
    }
    QObject::connect(&job.interrupts, &TerminationSignals::arrived, &loop, [&](int signal) {
        for (const auto& session : sessions) session->interrupt(signal);
    });
    if (live) {
        QObject::connect(&redraw, &QTimer::timeout, [&] { progress.draw(); });
        redraw.start(ProgressRedrawMs);
        progress.draw();
    }
    for (const auto& session : sessions) start(*session);
    if (left > 0) loop.exec();
    QList<SessionResult> results;
    for (const auto& session : sessions) results << session->result();
    if (live) {
        progress.draw();
        for (const SessionResult& result : results) {
            Print(result.exitStatus == 0 ? stdout : stderr, OutcomeText(result) + u'\n');
        }
    }
    return results;
}

int HighestStatus(const QList<SessionResult>& results) {
    int status = CtlExit::Ok;
    for (const SessionResult& result : results) status = std::max(status, result.exitStatus);
    return status;
}

void PrintFailures(const QList<SessionResult>& results) {
    for (const SessionResult& result : results) {
        if (result.exitStatus == 0) continue;
        Print(stderr, PortLabel(result.target) + QStringLiteral(": ") + result.error + u'\n');
    }
}

void PrintJsonLine(const QJsonObject& object) {
    Print(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n');
}

// A port as `ports` lists it; USB ids and description are empty where the system has none.
struct PortRow {
    QString port;
    QString device;
    QString usb;
    QString description;
};

QList<PortRow> PortRows(const QStringList& devices) {
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    QList<PortRow> rows;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        PortRow row{QStringLiteral("COM%1").arg(i + 1), devices[i], {}, {}};
        const auto info = std::find_if(infos.begin(), infos.end(), [&](const QSerialPortInfo& p) {
            return p.systemLocation() == devices[i];
        });
        if (info != infos.end()) {
            if (info->hasVendorIdentifier() && info->hasProductIdentifier()) {
                row.usb = QStringLiteral("%1:%2")
                              .arg(info->vendorIdentifier(), 4, 16, QLatin1Char('0'))
                              .arg(info->productIdentifier(), 4, 16, QLatin1Char('0'));
            }
            row.description = info->description();
        }
        rows << row;
    }
    return rows;
}

QJsonValue TextOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

void PrintPortTable(const QList<PortRow>& rows) {
    const auto shown = [](const QString& text) {
        return text.isEmpty() ? QStringLiteral("-") : text;
    };
    qsizetype portWidth = 0;
    qsizetype deviceWidth = 0;
    qsizetype usbWidth = 1;
    for (const PortRow& row : rows) {
        portWidth = std::max(portWidth, row.port.size());
        deviceWidth = std::max(deviceWidth, row.device.size());
        usbWidth = std::max(usbWidth, row.usb.size());
    }
    for (const PortRow& row : rows) {
        Print(stdout, QStringLiteral("%1  %2  %3  %4\n")
                          .arg(row.port, -int(portWidth))
                          .arg(row.device, -int(deviceWidth))
                          .arg(shown(row.usb), -int(usbWidth))
                          .arg(shown(row.description)));
    }
}

int ListPorts(const CtlOptions& options) {
    SetPinnedPorts(options.ports);
    const QList<PortRow> rows = PortRows(SystemPortDevices());
    if (!options.json) {
        PrintPortTable(rows);
        return CtlExit::Ok;
    }
    for (const PortRow& row : rows) {
        PrintJsonLine({{"port", row.port},
                       {"device", row.device},
                       {"usb", TextOrNull(row.usb)},
                       {"description", TextOrNull(row.description)}});
    }
    return CtlExit::Ok;
}

int Scan(const Job& job) {
    const QList<SessionResult> results = RunSessions(
        job, [](RadioSession& s) { s.startRead(); }, false);
    for (const SessionResult& result : results) {
        if (job.options.json) {
            PrintJsonLine(ScanJson(result));
        } else {
            Print(stdout, ScanLine(result) + u'\n');
        }
    }
    const bool found = std::any_of(results.begin(), results.end(),
                                   [](const SessionResult& r) { return r.exitStatus == 0; });
    if (found) return CtlExit::Ok;
    if (results.isEmpty()) {
        Print(stderr, QStringLiteral("tvrctl: no serial port found\n"));
        return CtlExit::NoRadio;
    }
    return HighestStatus(results);
}

int Read(const Job& job) {
    const QList<SessionResult> results = RunSessions(
        job, [](RadioSession& s) { s.startRead(); }, false);
    for (const SessionResult& result : results) {
        if (result.exitStatus != 0) continue;
        if (job.options.json) {
            PrintJsonLine(ParametersJson(result));
        } else {
            Print(stdout, ParametersText(result) + (results.size() > 1 ? "\n" : ""));
        }
    }
    PrintFailures(results);
    return HighestStatus(results);
}

int Write(const Job& job) {
    const QList<SessionResult> results = RunSessions(
        job, [&](RadioSession& s) { s.startWrite(job.options.changes, job.options.verify); }, true);
    return HighestStatus(results);
}

// Why a field the radio holds is not in its profile: no list knows the value, or a profile
// cannot give it (a channel past the list).
QString LeftOutOfProfile(RadioField field, const ShownParameters& reading) {
    if (UnknownFields(reading.raw).contains(field)) {
        return QStringLiteral("the radio holds %1, which no list knows")
            .arg(RawValueText(field, reading.raw));
    }
    return QStringLiteral("the radio holds %1 %2, which a profile cannot give")
        .arg(FieldKey(field), ReadingText(field, reading));
}

int Save(const Job& job) {
    const Output output = OpenOutput(job.options.file, job.options.force);
    if (!output.file) return output.exitStatus;
    const QList<SessionResult> results = RunSessions(
        job, [](RadioSession& s) { s.startRead(); }, false);
    const SessionResult& result = results.first();
    if (result.exitStatus != 0) {
        PrintFailures(results);
        return result.exitStatus;
    }
    const RadioProfile profile = ProfileOf(AsWriteSelection(*result.before));
    for (const RadioField field : AllRadioFields) {
        if (FieldText(field, WithProfile({}, profile)).isEmpty()) {
            Print(stderr, QStringLiteral("tvrctl: %1; the profile leaves it out\n")
                              .arg(LeftOutOfProfile(field, *result.before)));
        }
    }
    if (const int status = CommitOutput(*output.file, ProfileJson(profile), job.options.force)) {
        return status;
    }
    Print(stdout,
          PortLabel(result.target) + QStringLiteral(": saved to ") + job.options.file + u'\n');
    return CtlExit::Ok;
}

// The login name of the user running tvrctl; the user id when it has none.
QString LoginName() {
    if (const passwd* user = getpwuid(geteuid())) return QString::fromLocal8Bit(user->pw_name);
    return QString::number(geteuid());
}

int Apply(const Job& job) {
    const CtlOptions& options = job.options;
    const ReportRun run{options.file, QDateTime::currentDateTimeUtc(), TVR_VERSION,
                        QSysInfo::machineHostName(),
                        options.operatorName.isEmpty() ? LoginName() : options.operatorName};
    const ProfileResult loaded =
        LoadProfileFile(options.file, QDeadlineTimer(std::chrono::seconds(options.timeoutSeconds)));
    if (!loaded.profile) {
        Print(stderr, QStringLiteral("tvrctl: %1\n").arg(loaded.error));
        return CtlExit::BadProfile;
    }
    if (options.recorded) {
        return RunRecordedApply(options, *loaded.profile, job.targets,
                                options.operatorName.isEmpty() ? LoginName() : options.operatorName,
                                job.interrupts);
    }
    Output report;
    if (!options.reportPath.isEmpty()) {
        report = OpenOutput(options.reportPath, options.force);
        if (!report.file) return report.exitStatus;
    }
    const QList<SessionResult> results = RunSessions(
        job, [&](RadioSession& s) { s.startWrite(*loaded.profile, true); }, true);
    const auto verified = std::count_if(results.begin(), results.end(),
                                        [](const SessionResult& r) { return r.verified; });
    Print(stdout, QStringLiteral("%1 of %2 radios verified\n").arg(verified).arg(results.size()));
    int status = results.isEmpty() ? CtlExit::PortError : HighestStatus(results);
    if (report.file) {
        const QByteArray contents = options.reportPath.endsWith(".json") ? ReportJson(run, results)
                                                                         : ReportCsv(run, results);
        status = std::max(status, CommitOutput(*report.file, contents, options.force));
    }
    return status;
}

int RunCommand(const CtlOptions& options, TerminationSignals& interrupts) {
    if (options.command == CtlCommand::Ports) return ListPorts(options);
    if (options.command == CtlCommand::LinkTest) return RunLinkTest(options, interrupts);
    if (options.command == CtlCommand::History) return RunHistory(options);
    const TargetList targets = Targets(options);
    if (!targets.error.isEmpty()) {
        Print(stderr, QStringLiteral("tvrctl: %1\nTry 'tvrctl --help'.\n").arg(targets.error));
        return CtlExit::Usage;
    }
    const Job job{options, targets.targets, interrupts};
    switch (options.command) {
        case CtlCommand::Scan:
            return Scan(job);
        case CtlCommand::Read:
            return Read(job);
        case CtlCommand::Write:
            return Write(job);
        case CtlCommand::Save:
            return Save(job);
        case CtlCommand::Ports:
        case CtlCommand::Apply:
        case CtlCommand::LinkTest:
        case CtlCommand::History:
            break;
    }
    return Apply(job);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tvrctl"));
    const CtlArgs args = ParseCtlArgs(QCoreApplication::arguments().mid(1));
    if (!args.options) {
        Print(args.exitStatus == CtlExit::Ok ? stdout : stderr, args.output);
        return args.exitStatus;
    }
    LanguageFlag = 1;
    TerminationSignals interrupts;
    const int status = RunCommand(*args.options, interrupts);
    // A signal that came when no radio was being worked on still ends the run as interrupted.
    return TerminationSignals::first() ? 128 + TerminationSignals::first() : status;
}
