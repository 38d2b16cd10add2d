#include "tools/tvrctl/linktest.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <cstdio>
#include <optional>

#include "core/escape.h"
#include "core/terminationsignals.h"
#include "datatest/datatestengine.h"
#include "serial/portnames.h"
#include "serial/portopener.h"
#include "serial/porturl.h"
#include "serial/seriallink.h"
#include "tools/tvrctl/radiosession.h"

namespace {

// The window's two data timers.
constexpr int SendTickMs = 10;
constexpr int ReceiveTickMs = 50;
// 9600 bit/s without parity: the radio's own serial setting as it leaves the factory.
constexpr uint8_t LinkTestBaudIndex = 4;
const QString FrameText = QStringLiteral("TVR LINK TEST 0123456789");

void Print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// COMn stands for the n-th port, the devices given first, as with the other commands.
QString DeviceOf(const QString& port) {
    const std::optional<int> n = ComNumber(port);
    return n ? DeviceForPort(*n) : port;
}

// One station of the test with what its window would show.
class Station : public SerialLinkHost, public DataTestView {
  public:
    Station() { link.setHost(this); }
    ~Station() override { link.ClosePort(); }

    // Empty when the port opened at the test's setting; otherwise why not.
    QString open(const QString& port) {
        const QString device = DeviceOf(port);
        if (device.isEmpty()) return QStringLiteral("%1: no such port").arg(port);
        if (!link.OpenPortByName(device)) return link.OpenFailureText();
        // A plain network connection carries the data at the server's settings, which it
        // cannot change.
        const std::optional<PortUrl> url = ParsePortUrl(device);
        if (url && url->protocol == PortProtocol::RawTcp) return {};
        if (!link.ApplyPortSettings({LinkTestBaudIndex, 0}))
            return QStringLiteral("%1: %2").arg(
                device, StartSettingRefusalText(link.LastSettingsRefusal()));
        return {};
    }

    SerialLink link{OpenNamedPort};
    DataTestEngine engine{link, this};
    ErrTestRow row;
    bool sending = false;
    bool lost = false;

    // SerialLinkHost
    void setStatusText(int, const QString&) override {}
    void startReceivePoll() override {}
    void stopReceivePoll() override {}
    void portLost() override { lost = true; }
    void dataSent() override { engine.ShowSentBytes(); }
    // DataTestView
    void setPeriodicSending(bool on) override { sending = on; }
    // As the window's boxes do, the rate stays until a step computes a new one.
    void showErrTestRow(const ErrTestRow& shown) override {
        const std::optional<QString> rate = shown.rate ? shown.rate : row.rate;
        row = shown;
        row.rate = rate;
    }
};

// How the run ended.
struct Ending {
    int status = CtlExit::Ok;
    QString error;
};

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

// Ticks both stations as the window's timers would until the recorder has evaluated the
// frames asked for, a port goes away, the time is up or a termination signal arrives.
Ending Run(const CtlOptions& options, Station& recorder, Station& echo,
           TerminationSignals& interrupts) {
    Ending ending;
    QEventLoop loop;
    const auto end = [&](int status, const QString& error) {
        ending = {status, error};
        loop.quit();
    };
    QTimer sendTimer;
    QTimer receiveTimer;
    QTimer deadline;
    QObject::connect(&sendTimer, &QTimer::timeout, [&] {
        // Discarded: the engine keeps its default period, whose text is never refused.
        if (recorder.sending) static_cast<void>(recorder.engine.Timer_TrttDataTimer());
        // The statistics step of a send counts it after showing the sends before it.
        if (recorder.engine.ErrTest.ErrTestSent > options.frames) end(CtlExit::Ok, {});
    });
    QObject::connect(&receiveTimer, &QTimer::timeout, [&] {
        recorder.engine.Timer_RecDataTimer();
        echo.engine.Timer_RecDataTimer();
        if (recorder.lost || echo.lost)
            end(CtlExit::PortError, QStringLiteral("the port went away"));
    });
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        end(CtlExit::ExchangeFailed,
            QStringLiteral("timed out after %1 s").arg(options.timeoutSeconds));
    });
    QObject::connect(&interrupts, &TerminationSignals::arrived, &loop,
                     [&](int signal) { end(128 + signal, QStringLiteral("interrupted")); });
    sendTimer.start(SendTickMs);
    receiveTimer.start(ReceiveTickMs);
    if (options.timeoutGiven) {
        deadline.setSingleShot(true);
        deadline.start(options.timeoutSeconds * 1000);
    }
    loop.exec();
    return ending;
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

// Both ports open and both tests started: the echo station first, so that it is listening
// before the first frame.
bool StartStations(const CtlOptions& options, Station& recorder, Station& echo) {
    for (const auto& [station, port] :
         {std::pair{&echo, options.echoPort}, std::pair{&recorder, options.ports[0]}}) {
        const QString error = station->open(port);
        if (!error.isEmpty()) {
            Print(stderr, QStringLiteral("tvrctl: %1\n").arg(EscapeControlCharacters(error)));
            return false;
        }
        station->engine.setTransmitText(FrameText);
        station->engine.setRecording(station == &recorder);
        // Discarded: the frame is set just above, so the one refusal, no test data, cannot come.
        static_cast<void>(station->engine.PanelTrttTestClick());
    }
    return true;
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
    Station recorder;
    Station echo;
    if (!StartStations(options, recorder, echo)) return CtlExit::PortError;
    Ending ending;
    if (TerminationSignals::first()) {
        ending = {128 + TerminationSignals::first(), QStringLiteral("interrupted")};
    } else {
        ending = Run(options, recorder, echo, interrupts);
    }
    return Report(options, recorder.row, ending);
}
