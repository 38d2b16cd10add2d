// Feeds the main window's receive display through a pseudo-terminal the way a UART does and
// measures what the user feels: how many bytes were lost, what each receive tick costs and how
// much memory the process needed.
//
// The far end behaves like a receiving UART: every millisecond the bytes due at the row's rate
// arrive whether or not the program is ready; what the terminal cannot take at that moment is
// lost and the data go on with the next byte. Each row runs in a process of its own, so its
// peak memory is its own.

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
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "app/mainwindow.h"
#include "app/windows.h"
#if defined(TVR_LINK_VIEWS)
#include "app/linkviews.h"
#endif
#include "bench/support/benchsupport.h"
#include "core/language.h"
#include "core/messages.h"
#if defined(TVR_SLICED_FIND)
#include "datatest/receiveview.h"
#endif
#include "serial/seriallink.h"

namespace {

constexpr const char* Usage =
    "Usage: bench_receive [OPTION]...\n"
    "Feeds the main window's receive display through a pseudo-terminal like a UART: every\n"
    "millisecond the bytes due at the row's rate are offered, and every byte the terminal\n"
    "cannot take at that moment is lost. One row per display and rate, each in a fresh\n"
    "process.\n"
    "\n"
    "  --rates R[,R...]   rates in bytes per second (default 11520,100000,1000000)\n"
    "  --shown WHICH      text, hex or both (default both)\n"
    "  --seconds S        offer S seconds of data at each row's rate (default 20)\n"
    "  --size BYTES       offer this many bytes at every rate instead\n"
    "  --autoclear on|off the display's auto-clear (default on)\n"
    "  --views            open the charts window and the exchange monitor while receiving\n"
    "                     (code without them: the views column says n/a)\n"
    "  --find             once the display keeps 16 MiB, search it for text that is not\n"
    "                     there, next and previous in turn, four times a second (code\n"
    "                     without the sliced search: n/a); needs --autoclear off\n"
    "%s"
    "\n"
    "Columns: offered (bytes due at the rate), lost@wr (could not enter the terminal),\n"
    "counted (the program's RX count), check (ok when counted equals what entered, else the\n"
    "difference), lost and lost%% (offered - counted), CPU s/MB (the program's CPU time per MB\n"
    "counted), CPU%% (its CPU time over the row's time), VmHWM MB (peak memory), tick med/max ms\n"
    "(Timer_RecDataTimer), ticks, wall s, wr late ms (the writer's own worst lateness; a late\n"
    "writer offers a burst at once), views (open, off or n/a), vtick max ms (the longest\n"
    "tick of the charts' and the monitor's timers), finds (searches that ended) and slice max\n"
    "ms (the longest slice of a search).\n";

// After the last byte is offered, the count may catch up for this long; it is taken as final
// once it has not moved for QuietMs.
constexpr qint64 DrainLimitMs = 30000;
constexpr qint64 QuietMs = 3000;
// Bound on the wait for the writer's own report, beyond the time its offer takes.
constexpr qint64 WriterGraceMs = 30000;
constexpr uint8_t ReceiveBaudIndex = 8;

struct Row {
    bool hex = false;
    bool autoClear = true;
    bool views = false;
    bool find = false;
    long rate = 0;  // bytes per second
    long size = 0;  // bytes offered
};

// What the writer reports once it has offered everything.
struct Offer {
    long offered = 0;
    long lostAtWriter = 0;
    // The writer's own worst lateness: a late writer offers a burst that a terminal may refuse
    // however fast the program drains, so losses beside a large figure here are not the
    // program's.
    double latestMs = 0;
};

struct Figures {
    bool ran = false;
    bool viewsOpen = false;
    Offer offer;
    long counted = 0;
    double cpuPerMb = 0;
    double cpuPercent = 0;
    double viewsLongestMs = 0;
    bool findRan = false;
    long finds = 0;
    double sliceLongestMs = 0;
    double peakMb = 0;
    double medianMs = 0;
    double longestMs = 0;
    long ticks = 0;
    double seconds = 0;
};

// The data: text is words without line breaks (the case that once grew one endless
// paragraph); hexadecimal display gets every byte value, zeros included.
std::string MakeData(bool hex, long size) {
    std::string data(static_cast<size_t>(size), '\0');
    static const char words[] = "radio link test data 0123456789 the quick brown fox ";
    for (long i = 0; i < size; ++i) {
        data[i] = hex ? static_cast<char>(i * 7 % 256) : words[i % (sizeof words - 1)];
    }
    return data;
}

// The UART: waits for the go byte, then every millisecond offers what is due and never waits
// for the terminal; what it refuses is lost.
[[noreturn]] void RunWriter(int master, int goFd, int offerFd, const Row& row) {
    if (fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) _exit(1);
    char go = 0;
    if (::read(goFd, &go, 1) != 1) _exit(1);
    const std::string data = MakeData(row.hex, row.size);
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    Offer offer;
    for (long ms = 1; offer.offered < row.size; ++ms) {
        next = AddNanoseconds(next, 1000000L);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const double lateMs = (now.tv_sec - next.tv_sec) * 1e3 + (now.tv_nsec - next.tv_nsec) / 1e6;
        offer.latestMs = std::max(offer.latestMs, lateMs);
        const long due = std::min(row.size, row.rate * ms / 1000);
        if (due == offer.offered) continue;
        const long slice = due - offer.offered;
        const ssize_t entered = ::write(master, data.data() + offer.offered, slice);
        if (entered < 0 && errno != EAGAIN) _exit(1);
        offer.lostAtWriter += slice - std::max<ssize_t>(entered, 0);
        offer.offered = due;
    }
    if (::write(offerFd, &offer, sizeof offer) != sizeof offer) _exit(1);
    _exit(0);
}

// One row, in the process it was forked into; the figures go to resultFd.
[[noreturn]] void RunRow(const Row& row, int resultFd) {
    int master = -1;
    int slave = -1;
    char slaveName[256] = {};
    if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) _exit(1);
    // No echo or line editing before the port is opened: the writer waits for the go anyway.
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    int goPipe[2];
    int offerPipe[2];
    if (pipe(goPipe) != 0 || pipe(offerPipe) != 0) _exit(1);
    const pid_t writer = fork();
    if (writer == 0) {
        ::close(goPipe[1]);
        ::close(offerPipe[0]);
        ::close(slave);
        RunWriter(master, goPipe[0], offerPipe[1], row);
    }
    ::close(goPipe[0]);
    ::close(offerPipe[1]);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "bench_receive";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    LanguageFlag = 1;
    SetMessagePresenter([](const Message& m) {
        std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
        return MessageAnswer::Ok;
    });
    CreateWindows();
    Form1->show();
    if (!Link().OpenPortByName(QString::fromLocal8Bit(slaveName))) _exit(1);
    ::close(slave);
    Link().BaudIndex = ReceiveBaudIndex;
    if (!Link().ApplyPortSettings()) _exit(1);
    Form1->Check_RecHex->setChecked(row.hex);
    Form1->Check_AutoClr->setChecked(row.autoClear);

    // The real timer, with each tick of its handler timed.
    std::vector<double> tickMs;
    tickMs.reserve(100000);
    QObject::disconnect(Form1->Timer_RecData, &QTimer::timeout, Form1, nullptr);
    QObject::connect(Form1->Timer_RecData, &QTimer::timeout, Form1, [&tickMs] {
        QElapsedTimer timer;
        timer.start();
        Form1->Timer_RecDataTimer();
        tickMs.push_back(timer.nsecsElapsed() / 1e6);
    });
    Form1->Timer_RecData->start();

    Figures figures;
    std::vector<double> viewTickMs;
#if defined(TVR_LINK_VIEWS)
    // The charts and the monitor open, with each tick of their timers timed.
    if (row.views) {
        figures.viewsOpen = true;
        Views->View_ChartsClick();
        Views->View_MonitorClick();
        const auto timed = [&viewTickMs](QTimer* timer, auto* owner, auto handler) {
            QObject::disconnect(timer, &QTimer::timeout, owner, nullptr);
            QObject::connect(timer, &QTimer::timeout, owner, [&viewTickMs, owner, handler] {
                QElapsedTimer clock;
                clock.start();
                (owner->*handler)();
                viewTickMs.push_back(clock.nsecsElapsed() / 1e6);
            });
        };
        timed(Views->RateTimer, Views, &LinkViews::RateTimerTimer);
        timed(Views->Monitor->MonitorTimer, Views->Monitor, &TFormMonitor::MonitorTimerTimer);
    }
#endif
#if defined(TVR_SLICED_FIND)
    // Searches for what is not there, so that each goes through all that is kept, both ways,
    // with each slice timed. The text needle matches its first 20 characters again and again.
    std::vector<double> sliceMs;
    QTimer finder;
    ReceiveView* view = Form1->Memo_Rec;
    if (row.find) {
        figures.findRan = true;
        QObject::disconnect(view->FindTimer, &QTimer::timeout, view, nullptr);
        QObject::connect(view->FindTimer, &QTimer::timeout, view, [view, &sliceMs] {
            QElapsedTimer clock;
            clock.start();
            view->continueFind();
            sliceMs.push_back(clock.nsecsElapsed() / 1e6);
        });
        QObject::connect(view, &ReceiveView::findFinished, [&figures] { ++figures.finds; });
        QObject::connect(&finder, &QTimer::timeout, [view, &row, &figures] {
            const ChunkedBytes& kept = view->store().raw();
            if (view->findRunning() || kept.end() - kept.begin() < ReceiveStore::DefaultCapacity)
                return;
            view->find(
                row.hex ? QStringLiteral("FF FE FD") : QStringLiteral("the quick brown fox jumps"),
                figures.finds % 2 == 1);
        });
        finder.start(250);
    }
#endif
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const qint64 offerMs = row.size * 1000 / row.rate;
    bool offerKnown = false;
    QElapsedTimer sinceOffer;
    QElapsedTimer sinceCountMoved;
    sinceCountMoved.start();
    long lastCount = 0;
    // A loop of its own: quitting the application would close the main window, which ends the
    // process.
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const long counted = Form1->Data->Engine.RxByteCount;
        if (counted != lastCount) {
            lastCount = counted;
            sinceCountMoved.restart();
        }
        if (!offerKnown) {
            pollfd report{offerPipe[0], POLLIN, 0};
            if (::poll(&report, 1, 0) == 1) {
                offerKnown = ::read(offerPipe[0], &figures.offer, sizeof figures.offer) ==
                             sizeof figures.offer;
                if (!offerKnown) loop.quit();
                sinceOffer.start();
            } else if (wall.elapsed() > offerMs + WriterGraceMs) {
                loop.quit();
            }
            return;
        }
        const long entered = figures.offer.offered - figures.offer.lostAtWriter;
        if (counted >= entered || sinceCountMoved.elapsed() > QuietMs ||
            sinceOffer.elapsed() > DrainLimitMs) {
            loop.quit();
        }
    });
    // The watch runs in the measured process, so it looks only ten times a second: fifty
    // times a second cost about 0.4 % CPU, a fifth of what an 11.5 kB/s row measured.
    watch.start(100);
    const char go = 1;
    if (::write(goPipe[1], &go, 1) != 1) _exit(1);
    loop.exec();

    figures.ran = offerKnown;
    figures.seconds = wall.elapsed() / 1000.0;
    figures.counted = Form1->Data->Engine.RxByteCount;
    const double countedMb = figures.counted / 1e6;
    figures.cpuPerMb = countedMb > 0 ? (CpuSeconds() - cpuBefore) / countedMb : 0;
    figures.cpuPercent = 100.0 * (CpuSeconds() - cpuBefore) / figures.seconds;
    if (!viewTickMs.empty())
        figures.viewsLongestMs = *std::max_element(viewTickMs.begin(), viewTickMs.end());
#if defined(TVR_SLICED_FIND)
    if (!sliceMs.empty())
        figures.sliceLongestMs = *std::max_element(sliceMs.begin(), sliceMs.end());
#endif
    figures.peakMb = StatusMegabytes("VmHWM");
    figures.ticks = static_cast<long>(tickMs.size());
    if (!tickMs.empty()) figures.longestMs = *std::max_element(tickMs.begin(), tickMs.end());
    figures.medianMs = Median(tickMs);
    waitpid(writer, nullptr, 0);
    if (::write(resultFd, &figures, sizeof figures) != sizeof figures) _exit(1);
    // The windows live until the process ends, as in the program.
    _exit(0);
}

// Runs the row in a child process, so that its peak memory and CPU time are its own.
Figures MeasureRow(const Row& row) {
    Figures figures;
    int resultPipe[2];
    if (pipe(resultPipe) != 0) return figures;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        ::close(resultPipe[0]);
        RunRow(row, resultPipe[1]);
    }
    ::close(resultPipe[1]);
    if (child > 0) {
        if (::read(resultPipe[0], &figures, sizeof figures) != sizeof figures) figures = {};
        waitpid(child, nullptr, 0);
    }
    ::close(resultPipe[0]);
    return figures;
}

void PrintHeader(const CommonOptions& common) {
    std::printf(
        "%s%-4s %-5s %8s %9s %8s %9s %6s %8s %6s %8s %5s %8s %8s %8s %6s %6s %7s %5s %9s %5s "
        "%9s\n",
        common.codeColumn("code").c_str(), "load", "shown", "rate B/s", "offered", "lost@wr",
        "counted", "check", "lost", "lost%", "CPU s/MB", "CPU%", "VmHWM MB", "tick med", "tick max",
        "ticks", "wall s", "wr late", "views", "vtick max", "finds", "slice max");
}

void PrintRow(const CommonOptions& common, const Row& row, const Figures& f) {
    const std::string lead = common.codeColumn(common.label) + LoadLabel(common.busy);
    const char* shown = row.hex ? "hex" : "text";
    if (!f.ran) {
        std::printf("%-4s %-5s %8ld  failed: the row did not finish\n", lead.c_str(), shown,
                    row.rate);
        return;
    }
    const long entered = f.offer.offered - f.offer.lostAtWriter;
    const long surplus = f.counted - entered;
    const std::string check =
        surplus == 0 ? "ok" : (surplus > 0 ? "+" : "") + std::to_string(surplus);
    const long lost = f.offer.offered - f.counted;
    const double lostPercent = 100.0 * lost / f.offer.offered;
    const char* views = f.viewsOpen ? "open" : (row.views ? "n/a" : "off");
    const std::string finds = f.findRan ? std::to_string(f.finds) : (row.find ? "n/a" : "off");
    std::printf(
        "%-4s %-5s %8ld %9ld %8ld %9ld %6s %8ld %6.2f %8.3f %5.1f %8.1f %8.3f %8.3f %6ld %6.1f "
        "%7.1f %5s %9.3f %5s %9.3f\n",
        lead.c_str(), shown, row.rate, f.offer.offered, f.offer.lostAtWriter, f.counted,
        check.c_str(), lost, lostPercent, f.cpuPerMb, f.cpuPercent, f.peakMb, f.medianMs,
        f.longestMs, f.ticks, f.seconds, f.offer.latestMs, views, f.viewsLongestMs, finds.c_str(),
        f.sliceLongestMs);
}

std::vector<long> ParseRates(const std::string& text) {
    std::vector<long> rates;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::optional<long> rate = PositiveNumber(text.substr(start, comma - start).c_str());
        if (!rate) return {};
        rates.push_back(*rate);
        start = comma + 1;
    }
    return rates;
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = "bench_receive";
    CommonOptions common;
    std::vector<long> rates{11520, 100000, 1000000};
    std::vector<bool> shownHex{false, true};
    long seconds = 20;
    std::optional<long> size;
    bool autoClear = true;
    bool views = false;
    bool find = false;

    const std::optional<int> stop =
        ReadCommandLine(argc, argv, program, Usage, common,
                        [&](const std::string& option, Arguments& arguments, std::string& error) {
                            if (option == "--rates") {
                                rates = ParseRates(arguments.takeValue().value_or(""));
                                if (rates.empty()) error = "--rates needs rates above zero";
                            } else if (option == "--shown") {
                                const std::string which = arguments.takeValue().value_or("");
                                if (which == "text") {
                                    shownHex = {false};
                                } else if (which == "hex") {
                                    shownHex = {true};
                                } else if (which == "both") {
                                    shownHex = {false, true};
                                } else {
                                    error = "--shown takes text, hex or both";
                                }
                            } else if (option == "--seconds") {
                                seconds = arguments.takePositive(option, error).value_or(seconds);
                            } else if (option == "--size") {
                                size = arguments.takePositive(option, error);
                            } else if (option == "--autoclear") {
                                const std::string state = arguments.takeValue().value_or("");
                                if (state != "on" && state != "off")
                                    error = "--autoclear takes on or off";
                                autoClear = state == "on";
                            } else if (option == "--views") {
                                views = true;
                            } else if (option == "--find") {
                                find = true;
                            } else {
                                return false;
                            }
                            return true;
                        });
    if (stop) return *stop;

    if (common.header) {
        std::printf("# receive: auto-clear %s; tick med/max in ms; lost = offered - counted\n",
                    autoClear ? "on" : "off");
        PrintHeader(common);
    }
    std::fflush(stdout);
    bool allRan = true;
    for (const long rate : rates) {
        for (const bool hex : shownHex) {
            const Row row{hex, autoClear, views, find, rate, size.value_or(rate * seconds)};
            Figures figures;
            {
                const BusyLoad load(common.busy);
                figures = MeasureRow(row);
            }
            allRan = allRan && figures.ran;
            PrintRow(common, row, figures);
            std::fflush(stdout);
        }
    }
    return allRan ? 0 : 1;
}
