// Periodic send of a large text to a slow far end: what the user feels is whether the window
// stays responsive, whether memory stays put, and whether the TX count tells the truth.
//
// The program's port is a pseudo-terminal whose far end reads 960 bytes per second (a 9600
// bit/s line). The main window sends a 1 MB text with period 0 (every tick of the real
// Timer_TrttData). At the end the TX count is set against what left the program: the bytes the
// far end received plus those still in the terminal.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "app/mainwindow.h"
#include "app/windows.h"
#include "bench/support/benchsupport.h"
#include "core/language.h"
#include "core/messages.h"
#include "serial/seriallink.h"

namespace {

constexpr const char* Usage =
    "Usage: bench_periodic [OPTION]...\n"
    "The main window sends a 1 MB text with period 0 to a pseudo-terminal whose far end reads\n"
    "960 bytes per second, and the bench checks three things against fixed limits:\n"
    "  stall   the longest the window's thread went without serving its events: the largest\n"
    "          gap between timeouts of a 1 ms timer (pass: at most 50 ms)\n"
    "  growth  resident memory at the end minus before sending started (pass: below 5 MB)\n"
    "  TX      the program's TX count against what left it: bytes the far end received plus\n"
    "          bytes still in the terminal (pass: equal)\n"
    "\n"
    "  --seconds S          how long the far end reads while the program sends (default 60)\n"
    "  --memory-limit MB    end early once memory grew this much (default 1024)\n"
    "%s"
    "\n"
    "Exit status 0 when everything passed, 1 when something failed, 2 on wrong arguments.\n";

constexpr long FarEndBytesPerSecond = 960;
constexpr long FarEndStepMs = 10;
constexpr int TextBytes = 1024 * 1024;
constexpr int TextLineBytes = 64;
constexpr uint8_t SendBaudIndex = 4;  // 9600 bit/s, what the far end reads at

constexpr double StallLimitMs = 50;
constexpr double GrowthLimitMb = 5;

// Time for the window to lay out the text before the memory is taken, and for the program's
// writes in flight to land once sending stops.
constexpr int SettleMs = 1000;
// Beyond the far end's time, for its report.
constexpr qint64 FarEndGraceMs = 10000;
// Checks of the far end's report and of the memory.
constexpr int WatchMs = 50;
// The terminal is empty once this many reads in a row found nothing, DrainPauseMs apart.
constexpr int DrainEmptyReads = 3;
constexpr useconds_t DrainPauseMs = 20;

// What the far end reports when it stops reading.
struct FarEndReport {
    long received = 0;
    long readingMs = 0;
};

struct Options {
    CommonOptions common;
    long seconds = 60;
    long memoryLimitMb = 1024;
};

struct Figures {
    std::string failure;  // why there are no figures, empty when there are
    bool stoppedForMemory = false;
    FarEndReport farEnd;
    double longestStallMs = 0;
    double growthMb = 0;
    long txCount = 0;
    long inTerminal = 0;
    int messages = 0;
};

// The pseudo-terminal, with the far end forked onto its master side.
struct Terminal {
    int master = -1;
    // Kept open beside the program's own: the program's output is stopped on it at the end, so
    // that what the terminal holds can be read out without more following.
    int slave = -1;
    QString slaveName;
    int controlFd = -1;  // the go byte, then a stop byte
    int reportFd = -1;   // the far end's report
    pid_t farEnd = -1;
};

// A text of printable lines: the period and the display treat it like a user's text.
QString MakeText() {
    QString text;
    text.reserve(TextBytes);
    for (int i = 0; text.size() < TextBytes; ++i) {
        const bool lineEnd = i % TextLineBytes == TextLineBytes - 1;
        text += lineEnd ? QChar(u'\n') : QChar(u'!' + i % 90);
    }
    return text;
}

// The far end: waits for the go byte, then every step takes at most what is due at its rate,
// never waiting for it, until its time is up or the bench asks it to stop.
[[noreturn]] void RunFarEnd(int master, int controlFd, int reportFd, long seconds) {
    if (fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) _exit(1);
    char go = 0;
    if (::read(controlFd, &go, 1) != 1) _exit(1);
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    FarEndReport report;
    char buffer[4096];
    for (long step = 1;; ++step) {
        next = AddNanoseconds(next, FarEndStepMs * 1000000L);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        report.readingMs = step * FarEndStepMs;
        long due = FarEndBytesPerSecond * report.readingMs / 1000 - report.received;
        while (due > 0) {
            const ssize_t n = ::read(master, buffer, std::min<long>(due, sizeof buffer));
            if (n <= 0) break;
            report.received += n;
            due -= n;
        }
        pollfd control{controlFd, POLLIN, 0};
        if (report.readingMs >= seconds * 1000 || ::poll(&control, 1, 0) == 1) break;
    }
    if (::write(reportFd, &report, sizeof report) != sizeof report) _exit(1);
    _exit(0);
}

// Runs the event loop for a while.
void Settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Reads out everything the terminal holds towards the far end. FIONREAD alone would not do: it
// sees only the line discipline's 4 KB, not the buffers in front of it.
long DrainTerminal(int master) {
    long drained = 0;
    char buffer[4096];
    for (int emptyReads = 0; emptyReads < DrainEmptyReads;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            drained += n;
            emptyReads = 0;
        } else {
            ++emptyReads;
            usleep(DrainPauseMs * 1000);
        }
    }
    return drained;
}

// Opens the terminal and forks the far end, before Qt starts any thread.
std::optional<Terminal> OpenTerminal(long seconds) {
    Terminal terminal;
    char slaveName[256] = {};
    if (openpty(&terminal.master, &terminal.slave, slaveName, nullptr, nullptr) != 0) {
        return std::nullopt;
    }
    terminal.slaveName = QString::fromLocal8Bit(slaveName);
    termios raw{};
    tcgetattr(terminal.slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(terminal.slave, TCSANOW, &raw);
    int controlPipe[2];
    int reportPipe[2];
    if (pipe(controlPipe) != 0 || pipe(reportPipe) != 0) return std::nullopt;
    terminal.farEnd = fork();
    if (terminal.farEnd == 0) {
        ::close(controlPipe[1]);
        ::close(reportPipe[0]);
        ::close(terminal.slave);
        RunFarEnd(terminal.master, controlPipe[0], reportPipe[1], seconds);
    }
    ::close(controlPipe[0]);
    ::close(reportPipe[1]);
    if (terminal.farEnd < 0) return std::nullopt;
    terminal.controlFd = controlPipe[1];
    terminal.reportFd = reportPipe[0];
    return terminal;
}

Figures Measure(const Options& options, const Terminal& terminal, BusyLoad& load) {
    Figures figures;
    LanguageFlag = 1;
    SetMessagePresenter([&figures](const Message& m) {
        ++figures.messages;
        std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
        return MessageAnswer::Ok;
    });
    CreateWindows();
    Form1->show();
    if (!Link().OpenPortByName(terminal.slaveName)) {
        figures.failure = "the program did not open the terminal";
        return figures;
    }
    if (!Link().ApplyPortSettings({SendBaudIndex, 0})) {
        figures.failure = "the terminal refused the settings";
        return figures;
    }
    Form1->Memo_Trtt->setPlainText(MakeText());
    Form1->Edit_TrttPerio->setText(QStringLiteral("0"));
    Settle(SettleMs);

    // The longest the window's thread went without serving its events: the largest gap between
    // timeouts of a 1 ms timer on it.
    QElapsedTimer sinceTimeout;
    QTimer stallMeter;
    stallMeter.setTimerType(Qt::PreciseTimer);
    QObject::connect(&stallMeter, &QTimer::timeout, [&] {
        figures.longestStallMs =
            std::max(figures.longestStallMs, sinceTimeout.nsecsElapsed() / 1e6);
        sinceTimeout.restart();
    });

    const double rssBefore = StatusMegabytes("VmRSS");
    const char go = 1;
    if (::write(terminal.controlFd, &go, 1) != 1) {
        figures.failure = "the far end did not start";
        return figures;
    }
    QElapsedTimer wall;
    wall.start();
    sinceTimeout.start();
    stallMeter.start(1);
    Form1->Check_AutoTrtt->setChecked(true);

    bool farEndReported = false;
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        pollfd report{terminal.reportFd, POLLIN, 0};
        if (::poll(&report, 1, 0) == 1) {
            farEndReported = ::read(terminal.reportFd, &figures.farEnd, sizeof figures.farEnd) ==
                             sizeof figures.farEnd;
            loop.quit();
            return;
        }
        if (!figures.stoppedForMemory &&
            StatusMegabytes("VmRSS") - rssBefore > options.memoryLimitMb) {
            figures.stoppedForMemory = ::write(terminal.controlFd, &go, 1) == 1;
        }
        if (wall.elapsed() > options.seconds * 1000 + FarEndGraceMs) loop.quit();
    });
    watch.start(WatchMs);
    loop.exec();
    stallMeter.stop();
    figures.growthMb = StatusMegabytes("VmRSS") - rssBefore;
    load.stop();
    if (!farEndReported) {
        figures.failure = "the far end did not report";
        return figures;
    }
    waitpid(terminal.farEnd, nullptr, 0);

    Form1->Check_AutoTrtt->setChecked(false);
    Settle(SettleMs);
    // The program's output stopped on its own side: what was written before stays in the
    // terminal, nothing more follows, and the count has time to take in the last write.
    if (tcflow(terminal.slave, TCOOFF) != 0 ||
        fcntl(terminal.master, F_SETFL, fcntl(terminal.master, F_GETFL) | O_NONBLOCK) != 0) {
        figures.failure = "the terminal's output could not be stopped";
        return figures;
    }
    Settle(SettleMs);
    figures.txCount = Form1->Data->Engine.TxByteCount;
    figures.inTerminal = DrainTerminal(terminal.master);
    return figures;
}

const char* Verdict(bool pass) {
    return pass ? "ok" : "FAIL";
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = "bench_periodic";
    Options options;
    const std::optional<int> stop = ReadCommandLine(
        argc, argv, program, Usage, options.common,
        [&](const std::string& option, Arguments& arguments, std::string& error) {
            if (option == "--seconds") {
                options.seconds = arguments.takePositive(option, error).value_or(options.seconds);
            } else if (option == "--memory-limit") {
                options.memoryLimitMb =
                    arguments.takePositive(option, error).value_or(options.memoryLimitMb);
            } else {
                return false;
            }
            return true;
        });
    if (stop) return *stop;

    const CommonOptions& common = options.common;
    if (common.header) {
        std::printf(
            "# periodic: %d-byte text, period 0, far end reads %ld B/s; pass: stall <= %.0f ms, "
            "growth < %.0f MB, TX = received + in terminal\n",
            TextBytes, FarEndBytesPerSecond, StallLimitMs, GrowthLimitMb);
        std::printf("%s%-4s %6s %-6s %8s %-4s %9s %-4s %10s %8s %8s %10s %-4s %4s\n",
                    common.codeColumn("code").c_str(), "load", "secs", "end", "stall ms", "",
                    "growth MB", "", "TX count", "received", "in term", "TX-left", "", "msgs");
    }
    std::fflush(stdout);
    const std::string lead = common.codeColumn(common.label) + LoadLabel(common.busy);
    const std::optional<Terminal> terminal = OpenTerminal(options.seconds);
    if (!terminal) {
        std::printf("%-4s failed: no pseudo-terminal\n", lead.c_str());
        return 1;
    }
    BusyLoad load(common.busy);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int appArgc = 1;
    QApplication app(appArgc, argv);
    const Figures f = Measure(options, *terminal, load);
    int status = 1;
    if (!f.failure.empty()) {
        std::printf("%-4s failed: %s\n", lead.c_str(), f.failure.c_str());
    } else {
        const bool stallPass = f.longestStallMs <= StallLimitMs;
        const bool growthPass = f.growthMb < GrowthLimitMb;
        const long left = f.farEnd.received + f.inTerminal;
        const bool txPass = f.txCount == left;
        std::printf("%-4s %6.1f %-6s %8.1f %-4s %9.1f %-4s %10ld %8ld %8ld %10ld %-4s %4d\n",
                    lead.c_str(), f.farEnd.readingMs / 1000.0,
                    f.stoppedForMemory ? "memory" : "time", f.longestStallMs, Verdict(stallPass),
                    f.growthMb, Verdict(growthPass), f.txCount, f.farEnd.received, f.inTerminal,
                    f.txCount - left, Verdict(txPass), f.messages);
        status = stallPass && growthPass && txPass ? 0 : 1;
    }
    std::fflush(nullptr);
    // The windows live until the process ends, as in the program.
    _exit(status);
}
