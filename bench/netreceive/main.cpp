// The data test receiving at a fixed rate from a pseudo-terminal: through its own port, and
// through ser2net on this machine over rfc2217:// and socket://. A forked writer on the master
// behaves like a UART; the receiving side is the program's link and data test engine with the
// window's 50 ms receive tick. What counts is the CPU time per MB received.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/benchsupport.h"
#include "core/language.h"
#include "datatest/datatestengine.h"
#include "serial/portopener.h"
#include "serial/seriallink.h"
#include "tests/support/ser2net.h"

namespace {

constexpr const char* Usage =
    "Usage: bench_netreceive [OPTION]...\n"
    "Feeds the data test's receiving through a pseudo-terminal at a fixed rate: read from the\n"
    "terminal itself (local), and through ser2net on this machine (rfc2217 and socket), the\n"
    "three rows taking turns so that they see the same load.\n"
    "\n"
    "  --rate BYTES       bytes per second (default 100000)\n"
    "  --seconds N        length of each row's feed (default 10)\n"
    "  --repeat N         rounds of the three rows (default 1)\n"
    "%s"
    "\n"
    "Columns: the load, the port (local, rfc2217, socket), the round, bytes offered, bytes the\n"
    "terminal refused at the writer, the data test's RX count, check (ok when it equals what\n"
    "entered the terminal), the CPU seconds per MB counted of this process (every thread) and\n"
    "of ser2net, the same CPU time in percent of one core, and the row's wall seconds. The last\n"
    "lines give the median CPU per MB of each kind, over local, and /proc/loadavg before and\n"
    "after.\n"
    "Exit status 0 when every row counted what entered and the median CPU per MB of each network\n"
    "kind is at most 1.5 times the local one; 1 otherwise, 2 on wrong arguments.\n";

constexpr double Limit = 1.5;
constexpr int ReceiveTickMs = 50;
// 9600 bit/s, no parity: a pseudo-terminal takes any rate, and this is the server's own.
constexpr uint8_t BaudIndex9600 = 4;
// How long a row goes on after the writer's last offer while the count does not move.
constexpr qint64 StillMs = 3000;
constexpr qint64 WriterGraceMs = 30000;

enum class Kind { Local, Rfc2217, Socket };
const char* const KindNames[] = {"local", "rfc2217", "socket"};

// What the writer reports once it has offered everything.
struct Offer {
    long offered = 0;
    long lostAtWriter = 0;
};

// The UART: waits for the go byte, then every millisecond offers what is due at the rate and
// never waits for the terminal; what it refuses is lost.
[[noreturn]] void RunWriter(int master, int goFd, int offerFd, long rate, long size) {
    if (fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) _exit(1);
    std::vector<char> data(static_cast<size_t>(size));
    for (long i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 % 256);
    char go = 0;
    if (::read(goFd, &go, 1) != 1) _exit(1);
    Offer offer;
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (long step = 1; offer.offered < size; ++step) {
        next = AddNanoseconds(next, 1000000L);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        const long due = std::min(size, rate * step / 1000);
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

// A raw pseudo-terminal with the writer forked on its master, waiting for the go byte.
class Feed {
  public:
    Feed(long rate, long size) {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) return;
        slaveName_ = QString::fromLocal8Bit(name);
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        int goPipe[2];
        int offerPipe[2];
        if (pipe(goPipe) != 0 || pipe(offerPipe) != 0) return;
        writer_ = fork();
        if (writer_ == 0) {
            ::close(goPipe[1]);
            ::close(offerPipe[0]);
            ::close(slave);
            RunWriter(master_, goPipe[0], offerPipe[1], rate, size);
        }
        ::close(slave);
        ::close(goPipe[0]);
        ::close(offerPipe[1]);
        go_ = goPipe[1];
        offer_ = offerPipe[0];
    }
    ~Feed() {
        if (writer_ > 0) {
            kill(writer_, SIGKILL);
            waitpid(writer_, nullptr, 0);
        }
        for (int fd : {master_, go_, offer_}) {
            if (fd >= 0) ::close(fd);
        }
    }
    bool valid() const { return writer_ > 0; }
    const QString& slaveName() const { return slaveName_; }
    void start() const {
        const char byte = 1;
        if (::write(go_, &byte, 1) != 1) std::perror("bench_netreceive: the writer's go");
    }
    // The writer's report, once it has offered everything; false while it has not.
    bool takeOffer(Offer& taken) const {
        pollfd report{offer_, POLLIN, 0};
        return ::poll(&report, 1, 0) == 1 &&
               ::read(offer_, &taken, sizeof taken) == static_cast<ssize_t>(sizeof taken);
    }

  private:
    int master_ = -1;
    int go_ = -1;
    int offer_ = -1;
    pid_t writer_ = -1;
    QString slaveName_;
};

// CPU seconds of another process, user and system; 0 when it cannot be read.
double ProcessCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    // The fields after the command name, which may hold spaces, in its parentheses.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// The link's host: the data test alone, without a window.
struct Host : SerialLinkHost {
    bool lost = false;
    void setStatusText(int, const QString&) override {}
    void startReceivePoll() override {}
    void stopReceivePoll() override {}
    void portLost() override { lost = true; }
    void dataSent() override {}
};

struct Figures {
    bool ran = false;
    QString failure;
    Offer offer;
    long counted = 0;
    double cpuPerMb = 0;
    double serverCpuPerMb = 0;
    double cpuPercent = 0;
    double seconds = 0;
};

Figures ReceiveRow(Kind kind, long rate, long seconds) {
    Figures figures;
    Feed feed(rate, rate * seconds);
    if (!feed.valid()) {
        figures.failure = QStringLiteral("no pseudo-terminal");
        return figures;
    }
    Ser2Net server(QStringLiteral(SER2NET_PATH));
    QString port = feed.slaveName();
    if (kind != Kind::Local) {
        if (!server.start({feed.slaveName()})) {
            figures.failure = QStringLiteral("ser2net did not start");
            return figures;
        }
        port = kind == Kind::Rfc2217 ? server.rfc2217Url() : server.socketUrl();
    }
    Host host;
    SerialLink link(OpenNamedPort);
    link.setHost(&host);
    DataTestEngine engine(link);
    // A plain connection has the server's settings, which are the ones wanted.
    if (!link.OpenPortByName(port) ||
        (kind != Kind::Socket && !link.ApplyPortSettings({BaudIndex9600, 0}))) {
        figures.failure = link.OpenFailureText();
        return figures;
    }
    const double serverBefore = ProcessCpuSeconds(server.processId());
    const double before = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    feed.start();
    QEventLoop loop;
    QTimer tick;
    bool offered = false;
    long lastCount = -1;
    QElapsedTimer still;
    still.start();
    QObject::connect(&tick, &QTimer::timeout, [&] {
        engine.Timer_RecDataTimer();
        if (!offered) offered = feed.takeOffer(figures.offer);
        const long counted = engine.RxByteCount;
        if (counted != lastCount) {
            lastCount = counted;
            still.restart();
        }
        const bool all = offered && counted >= figures.offer.offered - figures.offer.lostAtWriter;
        const bool stopped = offered && still.elapsed() > StillMs;
        if (all || stopped || host.lost || wall.elapsed() > seconds * 1000 + WriterGraceMs) {
            loop.quit();
        }
    });
    tick.start(ReceiveTickMs);
    loop.exec();
    figures.seconds = wall.nsecsElapsed() / 1e9;
    const double cpu = CpuSeconds() - before;
    const double serverCpu = ProcessCpuSeconds(server.processId()) - serverBefore;
    figures.counted = engine.RxByteCount;
    const double megabytes = figures.counted / 1e6;
    figures.ran = offered && megabytes > 0;
    if (!figures.ran) figures.failure = host.lost ? "the port went away" : "nothing counted";
    if (figures.ran) {
        figures.cpuPerMb = cpu / megabytes;
        figures.serverCpuPerMb = kind == Kind::Local ? 0 : serverCpu / megabytes;
        figures.cpuPercent = 100 * cpu / figures.seconds;
    }
    link.ClosePort();
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = "bench_netreceive";
    CommonOptions common;
    long rate = 100000;
    long seconds = 10;
    long repeat = 1;
    const std::optional<int> stop =
        ReadCommandLine(argc, argv, program, Usage, common,
                        [&](const std::string& option, Arguments& arguments, std::string& error) {
                            if (option == "--rate") {
                                rate = arguments.takePositive(option, error).value_or(rate);
                            } else if (option == "--seconds") {
                                seconds = arguments.takePositive(option, error).value_or(seconds);
                            } else if (option == "--repeat") {
                                repeat = arguments.takePositive(option, error).value_or(repeat);
                            } else {
                                return false;
                            }
                            return true;
                        });
    if (stop) return *stop;

    int appArgc = 1;
    QCoreApplication application(appArgc, argv);
    LanguageFlag = 1;
    if (common.header) {
        std::printf(
            "# netreceive: the data test receiving %ld bytes/s for %ld s, local vs ser2net\n", rate,
            seconds);
        std::printf("# load before: %s\n", LoadAverage().c_str());
        std::printf("%s%-4s %-7s %5s %8s %7s %8s %5s %8s %9s %5s %6s\n",
                    common.codeColumn("code").c_str(), "load", "port", "round", "offered",
                    "lost@wr", "counted", "check", "CPU s/MB", "srv s/MB", "CPU%", "wall s");
    }
    std::fflush(stdout);
    const std::string lead = common.codeColumn(common.label) + LoadLabel(common.busy);
    BusyLoad load(common.busy);

    std::vector<double> perMb[3];
    bool allCounted = true;
    for (long round = 1; round <= repeat; ++round) {
        for (const Kind kind : {Kind::Local, Kind::Rfc2217, Kind::Socket}) {
            const Figures f = ReceiveRow(kind, rate, seconds);
            const char* name = KindNames[int(kind)];
            if (!f.ran) {
                allCounted = false;
                std::printf("%-4s %-7s %5ld failed: %s\n", lead.c_str(), name, round,
                            qPrintable(f.failure));
                continue;
            }
            const long entered = f.offer.offered - f.offer.lostAtWriter;
            const bool check = f.counted == entered;
            allCounted = allCounted && check;
            perMb[int(kind)].push_back(f.cpuPerMb);
            std::printf("%-4s %-7s %5ld %8ld %7ld %8ld %5s %8.3f %9.3f %5.1f %6.1f\n", lead.c_str(),
                        name, round, f.offer.offered, f.offer.lostAtWriter, f.counted,
                        check ? "ok" : std::to_string(f.counted - entered).c_str(), f.cpuPerMb,
                        f.serverCpuPerMb, f.cpuPercent, f.seconds);
            std::fflush(stdout);
        }
    }
    load.stop();
    const double local = Median(perMb[int(Kind::Local)]);
    bool within = local > 0;
    for (const Kind kind : {Kind::Rfc2217, Kind::Socket}) {
        const double median = Median(perMb[int(kind)]);
        const bool ok = local > 0 && median > 0 && median <= Limit * local;
        within = within && ok;
        std::printf("# median CPU per MB: local %.3f s, %s %.3f s (%.2f times; limit %.1f): %s\n",
                    local, KindNames[int(kind)], median, local > 0 ? median / local : 0.0, Limit,
                    ok ? "ok" : "missed");
    }
    std::printf("# every row counted what entered: %s\n", allCounted ? "ok" : "missed");
    std::printf("# load after: %s\n", LoadAverage().c_str());
    return allCounted && within ? 0 : 1;
}
