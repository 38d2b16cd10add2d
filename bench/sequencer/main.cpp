// Time from Read to "Read correct!" for a radio at each of the 27 serial settings, with the main
// window's own command timers running and the simulated radio following the wall clock. Each
// figure stands beside the least time the frames need on the wire, as a ratio.
//
// Every run starts from a closed port, so the scan sets 9600 none and the search walks from
// there, and with the response-wait factor the program starts with (3), so that each run is
// the first read after start-up and the figures do not depend on the run before.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/mainwindow.h"
#include "app/windows.h"
#include "core/language.h"
#include "core/messages.h"
#include "serial/portnames.h"
#include "serial/seriallink.h"
#include "sim/simulatedport.h"
#include "sim/simulatedradio.h"

namespace {

constexpr int StartWaitFactor = 3;
constexpr int ConnectReplyBytes = 8;
constexpr int ReadReplyBytes[] = {8, 7, 7, 8};
constexpr int ReadSteps = 4;
constexpr int TickMs = 10;
// A connect attempt without an answer ends on the receive tick where the count first exceeds
// the factor plus 25.
constexpr int UnansweredAttemptExtraTicks = 26;
constexpr int RunTimeoutMs = 60000;

constexpr int Rates[] = {600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr ParityMode Parities[] = {ParityMode::None, ParityMode::Odd, ParityMode::Even};

char ParityLetter(ParityMode parity) {
    switch (parity) {
        case ParityMode::Odd:
            return 'O';
        case ParityMode::Even:
            return 'E';
        default:
            return 'N';
    }
}

double WireMs(int bytes, const LineSettings& line) {
    const int bitsPerByte = line.parity == ParityMode::None ? 10 : 11;
    return 1000.0 * bytes * bitsPerByte / line.baudRate;
}

// One frame the program wrote: the line it went out at and the factor in force then.
struct SentFrame {
    LineSettings line;
    int waitFactor;
    int64_t bytes;
};

// The port onto the run's radio; it notes every frame the program writes.
class RecordingPort : public SimulatedPort {
  public:
    RecordingPort(SimulatedRadio& radio, Clock clock, std::vector<SentFrame>* sent)
        : SimulatedPort(radio, std::move(clock)), sent_(sent) {}
    int64_t write(const uint8_t* data, int64_t n) override {
        sent_->push_back({lineSettings(), Link().WaitFactor, n});
        return SimulatedPort::write(data, n);
    }

  private:
    std::vector<SentFrame>* sent_;
};

struct RunResult {
    QString message;
    double elapsedMs = 0;
    int receiveTicks = 0;
    int attemptsCounted = 0;  // by the sequencer's own attempt counter
    std::vector<SentFrame> sent;
};

class Bench {
  public:
    Bench() {
        SetMessagePresenter([this](const Message& m) {
            if (message_.isEmpty()) {
                message_ = m.text;
                elapsedMs_ = runClock_.nsecsElapsed() / 1e6;
            }
            loop_.quit();
            return MessageAnswer::Ok;
        });
        SetPinnedPorts({QStringLiteral("BENCH")});
        Link().setOpener([this](const QString&) -> std::unique_ptr<SerialDevice> {
            return std::make_unique<RecordingPort>(
                *radio_, [this] { return SimDuration(runClock_.nsecsElapsed()); }, &sent_);
        });
        QObject::connect(Form1->Timer_RecCmd, &QTimer::timeout, [this] { ++receiveTicks_; });
    }

    RunResult run(const LineSettings& radioLine) {
        Link().ClosePort();
        Link().WaitFactor = StartWaitFactor;
        RadioParameters parameters;
        parameters.line = radioLine;
        radio_ = std::make_unique<SimulatedRadio>(parameters);
        sent_.clear();
        message_.clear();
        receiveTicks_ = 0;

        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop_, &QEventLoop::quit);
        guard.start(RunTimeoutMs);
        runClock_.start();
        Form1->Speed_RClick();
        if (message_.isEmpty()) loop_.exec();

        RunResult result;
        result.message = message_.isEmpty() ? QStringLiteral("(timed out)") : message_;
        result.elapsedMs = elapsedMs_;
        result.receiveTicks = receiveTicks_;
        result.attemptsCounted =
            CommandSequencer::ConnectAttempts + 1 - Form1->Sequencer.ConnectLeft;
        result.sent = sent_;
        Link().ClosePort();
        return result;
    }

  private:
    std::unique_ptr<SimulatedRadio> radio_;
    std::vector<SentFrame> sent_;
    QElapsedTimer runClock_;
    QEventLoop loop_;
    QString message_;
    double elapsedMs_ = 0;
    int receiveTicks_ = 0;
};

void PrintRow(const LineSettings& line, const RunResult& r) {
    const QByteArray setting =
        QStringLiteral("%1-%2").arg(line.baudRate).arg(ParityLetter(line.parity)).toLatin1();
    const int attempts = static_cast<int>(r.sent.size()) - ReadSteps;
    if (r.message != QStringLiteral("Read correct!") || attempts != r.attemptsCounted) {
        std::printf("| %-8s | failed: %s, %d frames sent, %d attempts counted |\n",
                    setting.constData(), r.message.toUtf8().constData(),
                    static_cast<int>(r.sent.size()), r.attemptsCounted);
        return;
    }
    double wireMs = 0;
    int unansweredTicks = 0;
    for (int i = 0; i < attempts; ++i) {
        const SentFrame& probe = r.sent[static_cast<size_t>(i)];
        wireMs += WireMs(static_cast<int>(probe.bytes) + ConnectReplyBytes, probe.line);
        if (i + 1 < attempts) unansweredTicks += probe.waitFactor + UnansweredAttemptExtraTicks;
    }
    for (int step = 0; step < ReadSteps; ++step) {
        const SentFrame& request = r.sent[static_cast<size_t>(attempts + step)];
        wireMs += WireMs(static_cast<int>(request.bytes) + ReadReplyBytes[step], request.line);
    }
    const int answeredTicks = r.receiveTicks - unansweredTicks;
    std::printf("| %-8s | %8d | %5d | %10d | %14d | %11.1f | %7.1f | %5.1f | %7.2f |\n",
                setting.constData(), attempts, r.receiveTicks, unansweredTicks, answeredTicks,
                r.elapsedMs, wireMs, r.elapsedMs / wireMs, r.elapsedMs / r.receiveTicks);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LanguageFlag = 1;
    CreateWindows();
    Bench bench;

    std::printf(
        "Read to \"Read correct!\", from a freshly scanned port (9600 none), factor %d at the "
        "start.\nticks: receive ticks counted; unanswered: the ticks the unanswered attempts "
        "take by rule (factor + %d each);\nanswered: the rest, spent on the answering attempt "
        "and the %d read steps. wire: least time of the\nframes on the wire (7-byte requests, "
        "8-byte connect replies, %d/%d/%d/%d-byte read replies;\n10 bits a byte, 11 with "
        "parity). ms/tick: measured time over receive ticks (%d ms nominal).\n\n",
        StartWaitFactor, UnansweredAttemptExtraTicks, ReadSteps, ReadReplyBytes[0],
        ReadReplyBytes[1], ReadReplyBytes[2], ReadReplyBytes[3], TickMs);
    std::printf(
        "| setting  | attempts | ticks | unanswered | answered ticks | measured ms "
        "| wire ms | ratio | ms/tick |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const int rate : Rates) {
        for (const ParityMode parity : Parities) {
            const LineSettings line{rate, parity, 1};
            PrintRow(line, bench.run(line));
            std::fflush(stdout);
        }
    }
    return 0;
}
