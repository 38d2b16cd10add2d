#include "tools/tvrctl/linktest.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <optional>

#include "core/escape.h"
#include "core/terminationsignals.h"
#include "production/linkcheck.h"
#include "serial/portnames.h"
#include "serial/portopener.h"
#include "tools/tvrctl/sessionend.h"

namespace {

void Print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// COMn stands for the n-th port, the devices given first, as with the other commands.
QString DeviceOf(const QString& port) {
    const std::optional<int> n = ComNumber(port);
    return n ? DeviceForPort(*n) : port;
}

// How the run ended.
struct Ending {
    int status = CtlExit::Ok;
    QString error;
    // A port would not open or take its setting: no frame was sent.
    bool beforeStart = false;
};

// The share of whole frames alone: damaged frames count against it only as frames that did
// not come back whole.
bool Passed(const ErrTestCounters& counts, double passPercent) {
    return counts.ErrTestSent > 0 &&
           counts.ErrTestMatched * 100.0 >= passPercent * counts.ErrTestSent;
}

QString RowText(const ErrTestRow& row) {
    const ErrTestCounters& c = row.counts;
    return QStringLiteral(
               "TX CNT %1  RX CNT %2  REC ERR %3  NoRec %4  longer %5  shorter %6  "
               "SUCESS %7\n")
        .arg(c.ErrTestSent)
        .arg(c.ErrTestMatched)
        .arg(c.ErrTestSameLen)
        .arg(c.ErrTestNoReply)
        .arg(c.ErrTestLonger)
        .arg(c.ErrTestShorter)
        .arg(row.rate.value_or(QStringLiteral("-")));
}

QByteArray RowJson(const CtlOptions& options, const ErrTestRow& row, bool passed,
                   const Ending& ending) {
    const ErrTestCounters& c = row.counts;
    QJsonObject json{{"port", options.ports[0]},
                     {"echo_port", options.echoPort},
                     {"frames", options.frames},
                     {"sent", c.ErrTestSent},
                     {"matched", c.ErrTestMatched},
                     {"same_length", c.ErrTestSameLen},
                     {"no_reply", c.ErrTestNoReply},
                     {"longer", c.ErrTestLonger},
                     {"shorter", c.ErrTestShorter},
                     {"success_rate", row.rate ? QJsonValue(row.rate->toDouble()) : QJsonValue()},
                     {"pass_percent", options.passPercent},
                     {"passed", passed}};
    if (!ending.error.isEmpty()) json["error"] = ending.error;
    return QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n';
}

// Runs the check until the recorder has evaluated the frames asked for, a port fails or goes
// away, the time is up or a termination signal arrives.
Ending Run(LinkCheck& check, TerminationSignals& interrupts, const CtlOptions& options) {
    QEventLoop loop;
    int signalNumber = TerminationSignals::first();
    QObject::connect(&check, &LinkCheck::finished, &loop, &QEventLoop::quit);
    QObject::connect(&interrupts, &TerminationSignals::arrived, &loop, [&](int signal) {
        signalNumber = signal;
        check.stop();
    });
    if (signalNumber == 0) check.start();
    if (signalNumber != 0) check.stop();
    loop.exec();
    const LinkCheckResult& result = check.result();
    switch (result.stop) {
        case LinkStop::Completed:
            break;
        case LinkStop::RecorderFailed:
        case LinkStop::ReferenceFailed: {
            const QString& port =
                result.stop == LinkStop::RecorderFailed ? options.ports[0] : options.echoPort;
            const QString error =
                result.refusal ? QStringLiteral("%1: %2").arg(
                                     DeviceOf(port), StartSettingRefusalText(*result.refusal))
                               : result.openFailure;
            return {CtlExit::PortError, error, true};
        }
        case LinkStop::RecorderLost:
        case LinkStop::ReferenceLost:
            return {CtlExit::PortError, QStringLiteral("the port went away")};
        case LinkStop::TimedOut:
            return {CtlExit::ExchangeFailed,
                    QStringLiteral("timed out after %1 s").arg(options.timeoutSeconds)};
        case LinkStop::Stopped:
            return {128 + signalNumber, QStringLiteral("interrupted")};
    }
    return {};
}

// Points COMn at the devices given and refuses one port given under two names; false, after
// saying why, when they are one.
bool TwoPorts(const CtlOptions& options) {
    PinGivenDevices({options.ports[0], options.echoPort});
    // Through a link or its COMn name, one port would answer its own frames.
    const QString recorderFile = QFileInfo(DeviceOf(options.ports[0])).canonicalFilePath();
    if (recorderFile.isEmpty() ||
        recorderFile != QFileInfo(DeviceOf(options.echoPort)).canonicalFilePath()) {
        return true;
    }
    Print(stderr, QStringLiteral("tvrctl: '%1' and '%2' are the same port\nTry 'tvrctl --help'.\n")
                      .arg(EscapeControlCharacters(options.ports[0]),
                           EscapeControlCharacters(options.echoPort)));
    return false;
}

// The statistics row as text or JSON, then the verdict; returns the exit status.
int Report(const CtlOptions& options, const ErrTestRow& row, const Ending& ending) {
    const bool passed = ending.status == CtlExit::Ok && Passed(row.counts, options.passPercent);
    Print(stdout,
          options.json ? QString::fromUtf8(RowJson(options, row, passed, ending)) : RowText(row));
    if (ending.status != CtlExit::Ok) {
        Print(stderr, QStringLiteral("tvrctl: linktest: %1\n").arg(ending.error));
        return ending.status;
    }
    if (!options.json) {
        Print(stdout, QStringLiteral("%1: %2 of %3 frames came back whole, %4% needed\n")
                          .arg(passed ? "pass" : "FAIL")
                          .arg(row.counts.ErrTestMatched)
                          .arg(row.counts.ErrTestSent)
                          .arg(options.passPercent));
    }
    return passed ? CtlExit::Ok : CtlExit::LinkTestFailed;
}

}  // namespace

int RunLinkTest(const CtlOptions& options, TerminationSignals& interrupts) {
    if (!TwoPorts(options)) return CtlExit::Usage;
    // The echo station first, as it is opened first.
    for (const QString& port : {options.echoPort, options.ports[0]}) {
        if (DeviceOf(port).isEmpty()) {
            Print(stderr,
                  QStringLiteral("tvrctl: %1: no such port\n").arg(EscapeControlCharacters(port)));
            return CtlExit::PortError;
        }
    }
    LinkCheck check({DeviceOf(options.ports[0])}, {DeviceOf(options.echoPort)}, OpenNamedPort,
                    options.frames, options.timeoutGiven ? options.timeoutSeconds * 1000 : 0);
    const Ending ending = Run(check, interrupts, options);
    if (ending.beforeStart) {
        Print(stderr, QStringLiteral("tvrctl: %1\n").arg(EscapeControlCharacters(ending.error)));
        return ending.status;
    }
    return Report(options, check.result().row, ending);
}
