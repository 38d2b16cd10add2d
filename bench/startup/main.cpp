// The program's start as a user feels it: from the moment the process is started until its
// main window is shown, and the memory it then holds, shown and after idling. Every run is a
// fresh process (this bench again, with a hidden option) that does what tvrsetup's main does,
// with its preferences in a folder of its own.

#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/lifecycle.h"
#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/windows.h"
#include "bench/support/benchsupport.h"

namespace {

constexpr const char* Usage =
    "Usage: bench_startup [OPTION]...\n"
    "Starts the program as tvrsetup does (no port given, English), once to warm the caches and\n"
    "then --runs times, each a fresh process, and measures the time from starting the process\n"
    "until its main window is shown, and its resident memory.\n"
    "\n"
    "  --runs N           measured starts (default 10)\n"
    "  --idle-ms MS       how long the program idles, once shown, before its idle memory is\n"
    "                     read (default 2000)\n"
    "%s"
    "\n"
    "Columns: the run, the start-up time in ms and the CPU time the process spent by then,\n"
    "resident memory (VmRSS) when the window is shown and after idling, and the peak (VmHWM),\n"
    "in MB. The last line has the medians.\n"
    "Exit status 0 when every start showed the window, 1 otherwise, 2 on wrong arguments.\n";

constexpr const char* ChildOption = "--started-by-bench";
// A start that takes longer has hung: the child ends by SIGALRM.
constexpr unsigned ChildLimitSeconds = 30;

int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// The child: tvrsetup's main, with a look at the window once the event loop runs. Prints the
// monotonic time the window was first seen shown and the memory figures, one line.
int RunChild(int argc, char** argv, long idleMs) {
    ConfigureApplication();
    const StartupOptions options = ParseCommandLine({QStringLiteral("tvrsetup")});
    const std::unique_ptr<QApplication> application = CreateApplication(argc, argv);
#if defined(TVR_TERMINATION_SIGNALS)
    ExitOnTerminationSignals();
#endif
    int64_t shownNs = 0;
    double shownCpu = 0;
    double shownRss = 0;
    // Polled, so that the time is that of the first look after the window system exposed it.
    auto* poll = new QTimer(application.get());
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, [&] {
        const QWindow* window = Form1 ? Form1->windowHandle() : nullptr;
        if (!window || !window->isExposed()) return;
        poll->stop();
        shownNs = MonotonicNs();
        shownCpu = CpuSeconds();
        shownRss = StatusMegabytes("VmRSS");
        QTimer::singleShot(static_cast<int>(idleMs), [&] {
            std::printf("%lld %.4f %.1f %.1f %.1f\n", static_cast<long long>(shownNs), shownCpu,
                        shownRss, StatusMegabytes("VmRSS"), StatusMegabytes("VmHWM"));
            std::fflush(stdout);
            // The program's own exit path would save the window's place; nothing is kept.
            _exit(0);
        });
    });
    poll->start();
    return RunProgram(options);
}

struct Start {
    bool shown = false;
    double ms = 0;
    double cpuMs = 0;
    double shownRss = 0;
    double idleRss = 0;
    double peak = 0;
};

Start StartOnce(const char* self, const std::string& configHome, long idleMs) {
    Start start;
    int out[2];
    if (pipe(out) != 0) return start;
    const std::string idle = std::to_string(idleMs);
    const int64_t startedNs = MonotonicNs();
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(out[0]);
        dup2(out[1], STDOUT_FILENO);
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        alarm(ChildLimitSeconds);
        execl(self, self, ChildOption, idle.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(out[1]);
    std::string line;
    char buffer[256];
    ssize_t n = 0;
    while (pid > 0 && (n = read(out[0], buffer, sizeof buffer)) > 0) line.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    long long shownNs = 0;
    double cpuSeconds = 0;
    if (std::sscanf(line.c_str(), "%lld %lf %lf %lf %lf", &shownNs, &cpuSeconds, &start.shownRss,
                    &start.idleRss, &start.peak) == 5 &&
        WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        start.shown = true;
        start.ms = (shownNs - startedNs) / 1e6;
        start.cpuMs = cpuSeconds * 1000;
    }
    return start;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == ChildOption) {
        int childArgc = 1;
        return RunChild(childArgc, argv, std::strtol(argv[2], nullptr, 10));
    }
    const char* program = "bench_startup";
    CommonOptions common;
    long runs = 10;
    long idleMs = 2000;
    const std::optional<int> stop =
        ReadCommandLine(argc, argv, program, Usage, common,
                        [&](const std::string& option, Arguments& arguments, std::string& error) {
                            if (option == "--runs") {
                                runs = arguments.takePositive(option, error).value_or(runs);
                            } else if (option == "--idle-ms") {
                                idleMs = arguments.takePositive(option, error).value_or(idleMs);
                            } else {
                                return false;
                            }
                            return true;
                        });
    if (stop) return *stop;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    if (common.header) {
        std::printf("# startup: tvrsetup's start to its main window shown (%s), fresh processes\n",
                    qgetenv("QT_QPA_PLATFORM").constData());
        std::printf("%s%-4s %3s %9s %7s %9s %9s %9s\n", common.codeColumn("code").c_str(), "load",
                    "run", "start ms", "CPU ms", "shown MB", "idle MB", "peak MB");
    }
    std::fflush(stdout);
    const std::string lead = common.codeColumn(common.label) + LoadLabel(common.busy);
    BusyLoad load(common.busy);
    QTemporaryDir configHome;
    const std::string home = configHome.path().toStdString();
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;

    bool allShown = StartOnce(self, home, idleMs).shown;
    std::vector<double> ms, cpu, shown, idle, peak;
    for (long run = 1; run <= runs; ++run) {
        const Start start = StartOnce(self, home, idleMs);
        if (!start.shown) {
            std::printf("%-4s %3ld failed: no window shown\n", lead.c_str(), run);
            allShown = false;
            continue;
        }
        std::printf("%-4s %3ld %9.1f %7.1f %9.1f %9.1f %9.1f\n", lead.c_str(), run, start.ms,
                    start.cpuMs, start.shownRss, start.idleRss, start.peak);
        std::fflush(stdout);
        ms.push_back(start.ms);
        cpu.push_back(start.cpuMs);
        shown.push_back(start.shownRss);
        idle.push_back(start.idleRss);
        peak.push_back(start.peak);
    }
    load.stop();
    std::printf("%-4s %3s %9.1f %7.1f %9.1f %9.1f %9.1f\n", lead.c_str(), "med", Median(ms),
                Median(cpu), Median(shown), Median(idle), Median(peak));
    return allShown ? 0 : 1;
}
