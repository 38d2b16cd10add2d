// Feeds the main window's receive display through a pseudo-terminal at a fixed rate and
// measures it. Each row runs in a fresh process, so its peak memory is its own: the process
// forks a writer before it starts Qt, opens the terminal's program side like any port, and
// lets the real Timer_RecData poll it while the writer sends a slice every millisecond.

#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/mainwindow.h"
#include "app/windows.h"
#include "core/language.h"
#include "core/messages.h"
#include "serial/seriallink.h"

namespace {

struct Row {
    bool hex;
    bool autoClear;
    long rate;  // bytes per second
};

struct Figures {
    long written = 0;
    long counted = 0;
    double cpuPerMb = 0;
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

timespec AddNs(timespec t, long ns) {
    t.tv_nsec += ns;
    while (t.tv_nsec >= 1000000000L) {
        t.tv_nsec -= 1000000000L;
        ++t.tv_sec;
    }
    return t;
}

// The writer: waits for the go byte, writes its share every millisecond, reports the count,
// then holds the terminal open until the measuring side closes the pipe.
[[noreturn]] void RunWriter(int master, int goFd, int doneFd, const Row& row, long total) {
    char go = 0;
    if (::read(goFd, &go, 1) != 1) _exit(1);
    const std::string data = MakeData(row.hex, total);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    timespec next = start;
    long written = 0;
    for (long ms = 1; written < total; ++ms) {
        next = AddNs(next, 1000000L);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        const long due = std::min(total, row.rate * ms / 1000);
        while (written < due) {
            const ssize_t n = ::write(master, data.data() + written, due - written);
            if (n <= 0) _exit(1);
            written += n;
        }
    }
    if (::write(doneFd, &written, sizeof written) != sizeof written) _exit(1);
    while (::read(goFd, &go, 1) > 0) {
    }
    _exit(0);
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double PeakMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024;
    }
    return 0;
}

int RunRow(int argc, char** argv, const Row& row, long total) {
    int master = -1;
    int slave = -1;
    char slaveName[256] = {};
    if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) return 1;
    // No echo or line editing before the port is opened: the writer waits for the go anyway.
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    int goPipe[2];
    int donePipe[2];
    if (pipe(goPipe) != 0 || pipe(donePipe) != 0) return 1;
    const pid_t writer = fork();
    if (writer == 0) {
        ::close(goPipe[1]);
        ::close(donePipe[0]);
        ::close(slave);
        RunWriter(master, goPipe[0], donePipe[1], row, total);
    }
    ::close(goPipe[0]);
    ::close(donePipe[1]);

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LanguageFlag = 1;
    SetMessagePresenter([](const Message& m) {
        std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
        return MessageAnswer::Ok;
    });
    CreateWindows();
    Form1->show();
    if (!Link().OpenPortByName(QString::fromLocal8Bit(slaveName))) return 1;
    ::close(slave);
    Link().BaudIndex = 8;
    Link().ApplyPortSettings();
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
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const long limitMs = total * 1000 / row.rate + 20000;
    // A loop of its own: quitting the application would close the main window, which ends the
    // process.
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        pollfd done{donePipe[0], POLLIN, 0};
        if (figures.written == 0 && ::poll(&done, 1, 0) == 1) {
            if (::read(donePipe[0], &figures.written, sizeof figures.written) <= 0) loop.quit();
        }
        const bool allCounted = figures.written > 0 && Form1->Data->RxByteCount >= figures.written;
        if (allCounted || wall.elapsed() > limitMs) loop.quit();
    });
    watch.start(20);
    const char go = 1;
    if (::write(goPipe[1], &go, 1) != 1) return 1;
    loop.exec();

    figures.seconds = wall.elapsed() / 1000.0;
    figures.cpuPerMb = (CpuSeconds() - cpuBefore) / (total / 1e6);
    figures.peakMb = PeakMegabytes();
    figures.counted = Form1->Data->RxByteCount;
    figures.ticks = static_cast<long>(tickMs.size());
    if (!tickMs.empty()) {
        std::sort(tickMs.begin(), tickMs.end());
        figures.medianMs = tickMs[tickMs.size() / 2];
        figures.longestMs = tickMs.back();
    }
    ::close(goPipe[1]);
    waitpid(writer, nullptr, 0);
    std::printf("%ld %ld %.3f %.1f %.3f %.3f %ld %.1f\n", figures.written, figures.counted,
                figures.cpuPerMb, figures.peakMb, figures.medianMs, figures.longestMs,
                figures.ticks, figures.seconds);
    std::fflush(stdout);
    // The windows live until the process ends, as in the program.
    _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    // Every row is at least 2 MB; --quick is for trying the bench out, not for figures.
    long total = 2L * 1024 * 1024;
    std::vector<long> rates{11520, 100000, 1000000};
    if (argc >= 5 && std::string(argv[1]) == "--row") {
        const Row row{std::string(argv[2]) == "hex", std::string(argv[3]) == "on",
                      std::atol(argv[4])};
        return RunRow(1, argv, row, argc >= 6 ? std::atol(argv[5]) : total);
    }
    int first = 1;
    if (argc >= 2 && std::string(argv[1]) == "--quick") {
        total = 256 * 1024;
        first = 2;
    }
    // Rates in bytes per second may be given to run only those rows.
    if (argc > first) {
        rates.clear();
        for (int i = first; i < argc; ++i) rates.push_back(std::atol(argv[i]));
    }
    // The rows run this same program; popen's shell has its own /proc/self.
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;

    std::printf("%-5s %-9s %9s %9s %9s %10s %9s %10s %11s %6s %7s\n", "shown", "autoclear",
                "rate B/s", "written", "counted", "CPU s/MB", "VmHWM MB", "median ms", "longest ms",
                "ticks", "wall s");
    for (const long rate : rates) {
        for (const char* shown : {"text", "hex"}) {
            for (const char* clear : {"on", "off"}) {
                const std::string command = std::string(self) + " --row " + std::string(shown) +
                                            " " + clear + " " + std::to_string(rate) + " " +
                                            std::to_string(total);
                FILE* child = popen(command.c_str(), "r");
                char line[256] = {};
                const bool got = child && std::fgets(line, sizeof line, child);
                if (child) pclose(child);
                Figures f;
                if (!got || std::sscanf(line, "%ld %ld %lf %lf %lf %lf %ld %lf", &f.written,
                                        &f.counted, &f.cpuPerMb, &f.peakMb, &f.medianMs,
                                        &f.longestMs, &f.ticks, &f.seconds) != 8) {
                    std::printf("%-5s %-9s %9ld  failed\n", shown, clear, rate);
                    continue;
                }
                std::printf("%-5s %-9s %9ld %9ld %9ld %10.3f %9.1f %10.3f %11.3f %6ld %7.1f\n",
                            shown, clear, rate, f.written, f.counted, f.cpuPerMb, f.peakMb,
                            f.medianMs, f.longestMs, f.ticks, f.seconds);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
