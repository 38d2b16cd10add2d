// Feeds the main window's receive display through a pseudo-terminal the way a UART does and
// measures what the user feels: how many bytes were lost, what each receive tick costs and how
// much memory the process needed.
//
// The far end behaves like a receiving UART: every millisecond the bytes due at the row's rate
// arrive whether or not the program is ready; what the terminal cannot take at that moment is
// lost and the data go on with the next byte. Each row runs in a process of its own, so its
// peak memory is its own. Beside each row, `cat` can read the same feed from a terminal of its
// own: the floor of what a reader that waits in the kernel loses and spends.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
    "  --feed whole|pieces  whole: every millisecond what is due (default); pieces: 250-byte\n"
    "                     pieces, each at its own time, with a pause of 5 ms after every\n"
    "                     20 ms of sending\n"
    "  --cat              after each row, the same feed read by cat from a terminal of its\n"
    "                     own (a pair of rows)\n"
    "  --beside COMMAND   run COMMAND (with sh -c) again and again beside each row, for\n"
    "                     example a compiler; the load column says job\n"
    "  --repeat N         run every row (and pair) N times\n"
    "%s"
    "\n"
    "Columns: offered (bytes due at the rate), lost@wr (could not enter the terminal),\n"
    "counted (the program's RX count), check (ok when counted equals what entered, else the\n"
    "difference), lost and lost%% (offered - counted), CPU s/MB (the program's CPU time per MB\n"
    "counted), CPU%% (its CPU time over the row's time), VmHWM MB (peak memory), tick med/max ms\n"
    "(Timer_RecDataTimer), ticks, wall s, wr late ms (the writer's own worst lateness; a late\n"
    "writer offers a burst at once), wr rt (yes when the writer ran at real-time priority),\n"
    "views (open, off or n/a), vtick max ms (the longest\n"
    "tick of the charts' and the monitor's timers), finds (searches that ended) and slice max\n"
    "ms (the longest slice of a search); reader (program or cat), feed, and port s/MB: the CPU\n"
    "time per MB of the program's port threads, or of cat.\n";

// After the last byte is offered, the count may catch up for this long; it is taken as final
// once it has not moved for QuietMs.
constexpr qint64 DrainLimitMs = 30000;
constexpr qint64 QuietMs = 3000;
// Bound on the wait for the writer's own report, beyond the time its offer takes.
constexpr qint64 WriterGraceMs = 30000;
constexpr uint8_t ReceiveBaudIndex = 8;

// The pieces feed: a stream that comes in small pieces and pauses now and then.
constexpr long PieceBytes = 250;
constexpr long PieceBurstNs = 20000000L;
constexpr long PiecePauseNs = 5000000L;

struct Row {
    bool pieces = false;
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
    bool realtime = false;  // the writer ran at real-time priority
};

struct Figures {
    bool ran = false;
    bool cat = false;
    double portCpuPerMb = 0;  // the port's threads, or cat
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

// The UART: waits for the go byte, then offers what is due at its time and never waits for the
// terminal; what it refuses is lost. Whole: every millisecond what is due; pieces: 250 bytes at
// a time at the row's rate, with a pause after every burst.
[[noreturn]] void RunWriter(int master, int goFd, int offerFd, const Row& row) {
    if (fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) _exit(1);
    char go = 0;
    if (::read(goFd, &go, 1) != 1) _exit(1);
    const std::string data = MakeData(row.hex, row.size);
    Offer offer;
    // A UART sends on time whatever else the machine does; where the system allows it, so
    // does the writer, and the readers alone meet the load.
    sched_param priority{};
    priority.sched_priority = sched_get_priority_min(SCHED_FIFO);
    offer.realtime = sched_setscheduler(0, SCHED_FIFO, &priority) == 0;
    const long stepNs = row.pieces ? PieceBytes * 1000000000L / row.rate : 1000000L;
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    long burstNs = 0;
    for (long step = 1; offer.offered < row.size; ++step) {
        next = AddNanoseconds(next, stepNs);
        if (row.pieces && (burstNs += stepNs) > PieceBurstNs) {
            next = AddNanoseconds(next, PiecePauseNs);
            burstNs = 0;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const double lateMs = (now.tv_sec - next.tv_sec) * 1e3 + (now.tv_nsec - next.tv_nsec) / 1e6;
        offer.latestMs = std::max(offer.latestMs, lateMs);
        const long due = row.pieces ? std::min(row.size, offer.offered + PieceBytes)
                                    : std::min(row.size, row.rate * step / 1000);
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

// A pseudo-terminal in raw mode with the writer forked on its master, waiting for the go byte.
struct Feed {
    int master = -1;
    int slave = -1;
    char slaveName[256] = {};
    int go = -1;     // write one byte to start
    int offer = -1;  // the writer's Offer comes here
    pid_t writer = -1;

    explicit Feed(const Row& row) {
        if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) _exit(1);
        // No echo or line editing before the reader opens it: the writer waits for the go.
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        int goPipe[2];
        int offerPipe[2];
        if (pipe(goPipe) != 0 || pipe(offerPipe) != 0) _exit(1);
        writer = fork();
        if (writer == 0) {
            ::close(goPipe[1]);
            ::close(offerPipe[0]);
            ::close(slave);
            RunWriter(master, goPipe[0], offerPipe[1], row);
        }
        ::close(goPipe[0]);
        ::close(offerPipe[1]);
        go = goPipe[1];
        offer = offerPipe[0];
    }
    void start() const {
        const char byte = 1;
        if (::write(go, &byte, 1) != 1) _exit(1);
    }
    // The writer's report, once it has offered everything; false while it has not.
    bool takeOffer(Offer& taken) const {
        pollfd report{offer, POLLIN, 0};
        return ::poll(&report, 1, 0) == 1 &&
               ::read(offer, &taken, sizeof taken) == static_cast<ssize_t>(sizeof taken);
    }
};

// CPU seconds of the program's port threads (named "serial I/O", and "serial read" where the
// port has a reader of its own); 0 before they are found.
class PortThreadClock {
  public:
    PortThreadClock() {
        const QStringList tasks =
            QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& task : tasks) {
            FILE* comm = std::fopen(qPrintable("/proc/self/task/" + task + "/comm"), "r");
            char name[64] = {};
            if (!comm) continue;
            // The thread's CPU clock, as clock_getcpuclockid() would make it.
            if (std::fgets(name, sizeof name, comm) && std::string(name).starts_with("serial "))
                clocks_.push_back((~static_cast<clockid_t>(task.toInt()) << 3) | 6);
            std::fclose(comm);
        }
    }
    double seconds() const {
        double total = 0;
        for (const clockid_t clock : clocks_) {
            timespec used{};
            if (clock_gettime(clock, &used) == 0) total += used.tv_sec + used.tv_nsec / 1e9;
        }
        return total;
    }

  private:
    std::vector<clockid_t> clocks_;
};

// One row, in the process it was forked into; the figures go to resultFd.
[[noreturn]] void RunRow(const Row& row, int resultFd) {
    const Feed feed(row);
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
    if (!Link().OpenPortByName(QString::fromLocal8Bit(feed.slaveName))) _exit(1);
    ::close(feed.slave);
    if (!Link().ApplyPortSettings({ReceiveBaudIndex, 0})) _exit(1);
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
    const PortThreadClock portThread;
    const double portCpuBefore = portThread.seconds();
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
            if (feed.takeOffer(figures.offer)) {
                offerKnown = true;
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
    feed.start();
    loop.exec();

    figures.ran = offerKnown;
    figures.seconds = wall.elapsed() / 1000.0;
    figures.counted = Form1->Data->Engine.RxByteCount;
    const double countedMb = figures.counted / 1e6;
    figures.cpuPerMb = countedMb > 0 ? (CpuSeconds() - cpuBefore) / countedMb : 0;
    figures.cpuPercent = 100.0 * (CpuSeconds() - cpuBefore) / figures.seconds;
    figures.portCpuPerMb = countedMb > 0 ? (portThread.seconds() - portCpuBefore) / countedMb : 0;
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
    waitpid(feed.writer, nullptr, 0);
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

// Seconds on the monotonic clock.
double Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// The same feed read by cat from a terminal of its own, into memory; ends the way a program
// row does (everything counted, the count still for QuietMs, or DrainLimitMs after the offer).
Figures MeasureCatRow(const Row& row) {
    Figures figures;
    figures.cat = true;
    std::fflush(nullptr);
    Feed feed(row);
    const int out = memfd_create("cat-output", 0);
    if (out < 0) return figures;
    const pid_t cat = fork();
    if (cat == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (dup2(feed.slave, 0) < 0 || dup2(out, 1) < 0) _exit(127);
        execlp("cat", "cat", static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(feed.slave);
    const double start = Now();
    feed.start();
    bool offerKnown = false;
    double offerAt = 0;
    double movedAt = start;
    long lastCount = 0;
    while (true) {
        const timespec step{0, 100000000L};
        nanosleep(&step, nullptr);
        struct stat written {};
        fstat(out, &written);
        const long counted = written.st_size;
        if (counted != lastCount) {
            lastCount = counted;
            movedAt = Now();
        }
        if (!offerKnown) {
            offerKnown = feed.takeOffer(figures.offer);
            offerAt = Now();
            if (!offerKnown && Now() - start > (row.size * 2.0 / row.rate) + WriterGraceMs / 1e3)
                break;
            continue;
        }
        const long entered = figures.offer.offered - figures.offer.lostAtWriter;
        if (counted >= entered || Now() - movedAt > QuietMs / 1e3 ||
            Now() - offerAt > DrainLimitMs / 1e3) {
            break;
        }
    }
    figures.seconds = Now() - start;
    kill(cat, SIGTERM);
    rusage usage{};
    int status = 0;
    wait4(cat, &status, 0, &usage);
    waitpid(feed.writer, nullptr, 0);
    for (const int fd : {feed.master, feed.go, feed.offer, out}) ::close(fd);
    figures.ran = offerKnown;
    figures.counted = lastCount;
    const double cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                       (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const double countedMb = figures.counted / 1e6;
    figures.cpuPerMb = countedMb > 0 ? cpu / countedMb : 0;
    figures.portCpuPerMb = figures.cpuPerMb;
    figures.cpuPercent = 100.0 * cpu / figures.seconds;
    return figures;
}

// A command run again and again beside each row, in a process group of its own.
class BesideJob {
  public:
    explicit BesideJob(const std::string& command) {
        if (command.empty()) return;
        const std::string loop = "while :; do " + command + "; done >/dev/null 2>&1";
        group_ = fork();
        if (group_ == 0) {
            setpgid(0, 0);
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            execl("/bin/sh", "sh", "-c", loop.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (group_ > 0) setpgid(group_, group_);
    }
    ~BesideJob() {
        if (group_ <= 0) return;
        kill(-group_, SIGKILL);
        waitpid(group_, nullptr, 0);
    }
    BesideJob(const BesideJob&) = delete;
    BesideJob& operator=(const BesideJob&) = delete;

  private:
    pid_t group_ = -1;
};

void PrintHeader(const CommonOptions& common) {
    std::printf(
        "%s%-4s %-7s %-6s %-5s %8s %9s %8s %9s %6s %8s %6s %8s %9s %5s %8s %8s %8s %6s %6s %7s "
        "%5s %5s %9s %5s %9s\n",
        common.codeColumn("code").c_str(), "load", "reader", "feed", "shown", "rate B/s", "offered",
        "lost@wr", "counted", "check", "lost", "lost%", "CPU s/MB", "port s/MB", "CPU%", "VmHWM MB",
        "tick med", "tick max", "ticks", "wall s", "wr late", "wr rt", "views", "vtick max",
        "finds", "slice max");
}

void PrintRow(const CommonOptions& common, const char* load, const Row& row, const Figures& f) {
    const std::string lead = common.codeColumn(common.label) + load;
    const char* reader = f.cat ? "cat" : "program";
    const char* feed = row.pieces ? "pieces" : "whole";
    const char* shown = row.hex ? "hex" : "text";
    if (!f.ran) {
        std::printf("%-4s %-7s %-6s %-5s %8ld  failed: the row did not finish\n", lead.c_str(),
                    reader, feed, shown, row.rate);
        return;
    }
    const long entered = f.offer.offered - f.offer.lostAtWriter;
    const long surplus = f.counted - entered;
    const std::string check =
        surplus == 0 ? "ok" : (surplus > 0 ? "+" : "") + std::to_string(surplus);
    const long lost = f.offer.offered - f.counted;
    const double lostPercent = 100.0 * lost / f.offer.offered;
    std::printf("%-4s %-7s %-6s %-5s %8ld %9ld %8ld %9ld %6s %8ld %6.2f %8.3f %9.4f %5.1f ",
                lead.c_str(), reader, feed, shown, row.rate, f.offer.offered, f.offer.lostAtWriter,
                f.counted, check.c_str(), lost, lostPercent, f.cpuPerMb, f.portCpuPerMb,
                f.cpuPercent);
    const char* realtime = f.offer.realtime ? "yes" : "no";
    if (f.cat) {
        std::printf("%8s %8s %8s %6s %6.1f %7.1f %5s %5s %9s %5s %9s\n", "-", "-", "-", "-",
                    f.seconds, f.offer.latestMs, realtime, "-", "-", "-", "-");
        return;
    }
    const char* views = f.viewsOpen ? "open" : (row.views ? "n/a" : "off");
    const std::string finds = f.findRan ? std::to_string(f.finds) : (row.find ? "n/a" : "off");
    std::printf("%8.1f %8.3f %8.3f %6ld %6.1f %7.1f %5s %5s %9.3f %5s %9.3f\n", f.peakMb,
                f.medianMs, f.longestMs, f.ticks, f.seconds, f.offer.latestMs, realtime, views,
                f.viewsLongestMs, finds.c_str(), f.sliceLongestMs);
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
    bool pieces = false;
    bool withCat = false;
    std::string beside;
    long repeat = 1;

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
                            } else if (option == "--feed") {
                                const std::string which = arguments.takeValue().value_or("");
                                if (which != "whole" && which != "pieces")
                                    error = "--feed takes whole or pieces";
                                pieces = which == "pieces";
                            } else if (option == "--cat") {
                                withCat = true;
                            } else if (option == "--beside") {
                                beside = arguments.takeValue().value_or("");
                                if (beside.empty()) error = "--beside needs a command";
                            } else if (option == "--repeat") {
                                repeat = arguments.takePositive(option, error).value_or(repeat);
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
    const char* load = beside.empty() ? LoadLabel(common.busy) : "job";
    bool allRan = true;
    int pairs = 0;
    int lostMore = 0;
    int costlier = 0;
    for (long round = 0; round < repeat; ++round) {
        for (const long rate : rates) {
            for (const bool hex : shownHex) {
                const Row row{
                    pieces, hex, autoClear, views, find, rate, size.value_or(rate * seconds)};
                Figures figures;
                Figures catFigures;
                {
                    const BusyLoad busy(common.busy);
                    const BesideJob job(beside);
                    figures = MeasureRow(row);
                }
                allRan = allRan && figures.ran;
                PrintRow(common, load, row, figures);
                std::fflush(stdout);
                if (!withCat) continue;
                {
                    const BusyLoad busy(common.busy);
                    const BesideJob job(beside);
                    catFigures = MeasureCatRow(row);
                }
                allRan = allRan && catFigures.ran;
                PrintRow(common, load, row, catFigures);
                std::fflush(stdout);
                ++pairs;
                const auto lost = [](const Figures& f) { return f.offer.offered - f.counted; };
                if (lost(figures) > lost(catFigures)) ++lostMore;
                if (figures.portCpuPerMb > 1.5 * catFigures.portCpuPerMb) ++costlier;
            }
        }
    }
    if (withCat) {
        std::printf(
            "# pairs %d: the program lost more than cat in %d, its port threads spent more "
            "than 1.5 x cat's CPU per MB in %d\n",
            pairs, lostMore, costlier);
    }
    return allRan && lostMore == 0 && costlier == 0 ? 0 : 1;
}
