// tvrctl: reads, writes, verifies and provisions radios from the command line, several ports at
// once, each with an engine of its own in one event loop.

#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSerialPortInfo>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/language.h"
#include "core/messages.h"
#include "serial/portnames.h"
#include "serial/qtserialdevice.h"
#include "tools/tvrctl/options.h"
#include "tools/tvrctl/radiosession.h"
#include "tools/tvrctl/report.h"

namespace {

constexpr int ProgressRedrawMs = 100;

void Print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// "COM3" names the third port of the COMn order; anything else is a device.
std::optional<int> ComNumber(const QString& name) {
    static const QRegularExpression com(QStringLiteral("^COM([1-9][0-9]*)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = com.match(name);
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toInt();
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

// The devices given become COM1, COM2, ... in the order given, as with tvrsetup --port.
QList<PortTarget> Targets(const CtlOptions& options) {
    QStringList devices;
    for (const QString& port : options.ports) {
        if (!ComNumber(port)) devices << port;
    }
    SetPinnedPorts(devices);
    QList<PortTarget> targets;
    const bool everyPort =
        options.all || (options.command == CtlCommand::Scan && options.ports.isEmpty());
    if (everyPort) {
        const QStringList all = SystemPortDevices();
        for (qsizetype i = 0; i < all.size(); ++i)
            targets.append({QStringLiteral("COM%1").arg(i + 1), all[i]});
        return targets;
    }
    for (const QString& port : options.ports) {
        if (const std::optional<int> n = ComNumber(port)) {
            targets.append({port.toUpper(), DeviceForPort(*n)});
        } else {
            targets.append({QStringLiteral("COM%1").arg(devices.indexOf(port) + 1), port});
        }
    }
    return targets;
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
            text += QStringLiteral("\x1b[2K%1 (%2): %3\n")
                        .arg(target.port, target.device, session->phase());
        }
        drawn_ = true;
        Print(stdout, text);
    }

  private:
    const std::vector<std::unique_ptr<RadioSession>>& sessions_;
    bool drawn_ = false;
};

// Starts a session per target and returns their results once every one has finished. Without
// a terminal each port's outcome is a plain line as it ends; on one, a live line per port.
QList<SessionResult> RunSessions(const CtlOptions& options,
                                 const std::function<void(RadioSession&)>& start,
                                 bool showOutcomes) {
    std::vector<std::unique_ptr<RadioSession>> sessions;
    for (const PortTarget& target : Targets(options)) {
        sessions.push_back(
            std::make_unique<RadioSession>(target, OpenQtSerialDevice, options.timeoutSeconds));
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
        Print(stderr, QStringLiteral("%1 (%2): %3\n")
                          .arg(result.target.port, result.target.device, result.error));
    }
}

int ListPorts(const CtlOptions& options) {
    SetPinnedPorts(options.ports);
    const QStringList devices = SystemPortDevices();
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    QList<QStringList> rows;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const auto info = std::find_if(infos.begin(), infos.end(), [&](const QSerialPortInfo& p) {
            return p.systemLocation() == devices[i];
        });
        QString usb = QStringLiteral("-");
        QString description = QStringLiteral("-");
        if (info != infos.end()) {
            if (info->hasVendorIdentifier() && info->hasProductIdentifier()) {
                usb = QStringLiteral("%1:%2")
                          .arg(info->vendorIdentifier(), 4, 16, QLatin1Char('0'))
                          .arg(info->productIdentifier(), 4, 16, QLatin1Char('0'));
            }
            if (!info->description().isEmpty()) description = info->description();
        }
        rows.append({QStringLiteral("COM%1").arg(i + 1), devices[i], usb, description});
    }
    QList<qsizetype> widths(3, 0);
    for (const QStringList& row : rows) {
        for (int column = 0; column < 3; ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    for (const QStringList& row : rows) {
        Print(stdout, QStringLiteral("%1  %2  %3  %4\n")
                          .arg(row[0], -int(widths[0]))
                          .arg(row[1], -int(widths[1]))
                          .arg(row[2], -int(widths[2]))
                          .arg(row[3]));
    }
    return CtlExit::Ok;
}

int Scan(const CtlOptions& options) {
    const QList<SessionResult> results = RunSessions(
        options, [](RadioSession& s) { s.startRead(); }, false);
    for (const SessionResult& result : results) Print(stdout, ScanLine(result) + u'\n');
    const bool found = std::any_of(results.begin(), results.end(),
                                   [](const SessionResult& r) { return r.exitStatus == 0; });
    if (found) return CtlExit::Ok;
    if (results.isEmpty()) {
        Print(stderr, QStringLiteral("tvrctl: no serial port found\n"));
        return CtlExit::NoRadio;
    }
    return HighestStatus(results);
}

int Read(const CtlOptions& options) {
    const QList<SessionResult> results = RunSessions(
        options, [](RadioSession& s) { s.startRead(); }, false);
    for (const SessionResult& result : results) {
        if (result.exitStatus != 0) continue;
        if (options.json) {
            Print(stdout,
                  QString::fromUtf8(
                      QJsonDocument(ParametersJson(result)).toJson(QJsonDocument::Compact)) +
                      u'\n');
        } else {
            Print(stdout, ParametersText(result) + (results.size() > 1 ? "\n" : ""));
        }
    }
    PrintFailures(results);
    return HighestStatus(results);
}

int Write(const CtlOptions& options) {
    const QList<SessionResult> results = RunSessions(
        options, [&](RadioSession& s) { s.startWrite(options.changes, options.verify); }, true);
    return HighestStatus(results);
}

int Save(const CtlOptions& options) {
    const QList<SessionResult> results = RunSessions(
        options, [](RadioSession& s) { s.startRead(); }, false);
    const SessionResult& result = results.first();
    if (result.exitStatus != 0) {
        PrintFailures(results);
        return result.exitStatus;
    }
    const RadioProfile profile = ProfileOf(*result.before);
    for (const RadioField field : AllRadioFields) {
        if (FieldText(field, WithProfile({}, profile)).isEmpty()) {
            Print(stderr, QStringLiteral("tvrctl: the radio's %1 is none the lists know; the "
                                         "profile leaves it out\n")
                              .arg(FieldKey(field)));
        }
    }
    if (const QString error = SaveProfileFile(options.file, profile); !error.isEmpty()) {
        Print(stderr, QStringLiteral("tvrctl: %1\n").arg(error));
        return CtlExit::BadProfile;
    }
    Print(stdout, QStringLiteral("%1 (%2): saved to %3\n")
                      .arg(result.target.port, result.target.device, options.file));
    return CtlExit::Ok;
}

int Apply(const CtlOptions& options) {
    const ProfileResult loaded = LoadProfileFile(options.file);
    if (!loaded.profile) {
        Print(stderr, QStringLiteral("tvrctl: %1\n").arg(loaded.error));
        return CtlExit::BadProfile;
    }
    const QList<SessionResult> results = RunSessions(
        options, [&](RadioSession& s) { s.startWrite(*loaded.profile, true); }, true);
    const auto verified = std::count_if(results.begin(), results.end(),
                                        [](const SessionResult& r) { return r.verified; });
    Print(stdout, QStringLiteral("%1 of %2 radios verified\n").arg(verified).arg(results.size()));
    int status = results.isEmpty() ? CtlExit::PortError : HighestStatus(results);
    if (!options.reportPath.isEmpty()) {
        const QByteArray report = options.reportPath.endsWith(".json")
                                      ? ReportJson(options.file, results)
                                      : ReportCsv(results);
        QSaveFile file(options.reportPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(report) < 0 || !file.commit()) {
            Print(stderr,
                  QStringLiteral("tvrctl: %1: %2\n").arg(options.reportPath, file.errorString()));
            status = std::max(status, CtlExit::Usage);
        }
    }
    return status;
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
    // Each session reports its own outcome; the engine's messages need no answer here.
    SetMessagePresenter([](const Message&) { return MessageAnswer::Ok; });
    switch (args.options->command) {
        case CtlCommand::Ports:
            return ListPorts(*args.options);
        case CtlCommand::Scan:
            return Scan(*args.options);
        case CtlCommand::Read:
            return Read(*args.options);
        case CtlCommand::Write:
            return Write(*args.options);
        case CtlCommand::Save:
            return Save(*args.options);
        case CtlCommand::Apply:
            break;
    }
    return Apply(*args.options);
}
