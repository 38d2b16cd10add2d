// tvrctl apply to eight tvrsim radios, each reached once through its own pseudo-terminal and once
// through ser2net on this machine (rfc2217:// on 127.0.0.1), the two kinds of run taking turns
// so that both see the same load. The network's own cost is what the median times differ by.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/benchsupport.h"
#include "tests/support/processes.h"
#include "tests/support/ser2net.h"

namespace {

constexpr const char* Usage =
    "Usage: bench_netapply [OPTION]...\n"
    "Runs tvrctl apply with one profile (channel, air rate and ID; the serial settings stay) on\n"
    "eight tvrsim radios at 9600 bit/s at once, in turns: the radios as local pseudo-terminals,\n"
    "then the same radios through one ser2net on this machine (rfc2217://127.0.0.1:PORT).\n"
    "\n"
    "  --runs N           runs of each kind (default 5)\n"
    "%s"
    "\n"
    "Columns: the load, the kind of port (local or network), the run, tvrctl's wall time in ms,\n"
    "its exit status and its CPU seconds (user and system, as the kernel counts them). The last\n"
    "lines give the medians, network over local, and /proc/loadavg before and after.\n"
    "Exit status 0 when every run ended with 0 and the median network time is at most 1.2 times\n"
    "the median local time; 1 otherwise, 2 on wrong arguments.\n";

constexpr int RadioCount = 8;
constexpr double Limit = 1.2;
constexpr int TimeoutSeconds = 30;
const char* const ProfileJson = R"({"format": 1, "channel": 5, "air_rate": "19200", "id": "0042"})";

// tvrctl apply to the ports, its output thrown away; its own --timeout bounds the wait.
ProcessFigures RunApply(const QString& profile, const QStringList& ports) {
    std::vector<std::string> words{TVRCTL_PATH, "apply", profile.toStdString(), "--timeout",
                                   std::to_string(TimeoutSeconds)};
    for (const QString& port : ports) {
        words.push_back("--port");
        words.push_back(port.toStdString());
    }
    return RunQuietly(std::move(words));
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = "bench_netapply";
    CommonOptions common;
    long runs = 5;
    const std::optional<int> stop =
        ReadCommandLine(argc, argv, program, Usage, common, RunsOption(runs));
    if (stop) return *stop;

    int appArgc = 1;
    QCoreApplication application(appArgc, argv);
    if (common.header) {
        std::printf("# netapply: tvrctl apply to %d tvrsim radios at 9600 N, local vs ser2net\n",
                    RadioCount);
        std::printf("# load before: %s\n", LoadAverage().c_str());
    }
    std::fflush(stdout);
    const std::string lead = common.codeColumn(common.label) + LoadLabel(common.busy);
    BusyLoad load(common.busy);

    QTemporaryDir directory;
    SimulatedRadios radios(QStringLiteral(TVRSIM_PATH));
    QStringList local;
    bool ok = directory.isValid();
    for (int i = 1; ok && i <= RadioCount; ++i) {
        local << directory.filePath(QStringLiteral("radio%1").arg(i));
        ok = radios.run({"--link", local.back(), "--baud", "9600"}, {local.back()}) != nullptr;
    }
    Ser2Net server(QStringLiteral(SER2NET_PATH));
    ok = ok && server.start(local);
    const QString profile = directory.filePath(QStringLiteral("profile.json"));
    QFile profileFile(profile);
    ok = ok && profileFile.open(QIODevice::WriteOnly) && profileFile.write(ProfileJson) > 0;
    profileFile.close();
    if (!ok) {
        std::printf("%-4s failed: the radios or ser2net did not start (%s, %s)\n", lead.c_str(),
                    TVRSIM_PATH, SER2NET_PATH);
        return 1;
    }
    QStringList network;
    for (int i = 0; i < RadioCount; ++i) network << server.rfc2217Url(i);

    if (common.header) {
        std::printf("%s%-4s %-7s %3s %8s %6s %6s\n", common.codeColumn("code").c_str(), "load",
                    "ports", "run", "wall ms", "status", "CPU s");
    }
    std::vector<double> localMs;
    std::vector<double> networkMs;
    bool allOk = true;
    for (long run = 1; run <= runs; ++run) {
        for (const bool overNetwork : {false, true}) {
            const ProcessFigures figures = RunApply(profile, overNetwork ? network : local);
            allOk = allOk && figures.status == 0;
            (overNetwork ? networkMs : localMs).push_back(figures.wallMs);
            std::printf("%-4s %-7s %3ld %8.0f %6d %6.2f\n", lead.c_str(),
                        overNetwork ? "network" : "local", run, figures.wallMs, figures.status,
                        figures.cpuSeconds);
            std::fflush(stdout);
        }
    }
    load.stop();
    const double localMedian = Median(localMs);
    const double networkMedian = Median(networkMs);
    const double ratio = networkMedian / localMedian;
    const bool within = ratio <= Limit;
    std::printf("# median wall: local %.0f ms, network %.0f ms (%.2f times; limit %.1f): %s\n",
                localMedian, networkMedian, ratio, Limit, within ? "ok" : "missed");
    std::printf("# every run ended with 0: %s\n", allOk ? "ok" : "missed");
    std::printf("# load after: %s\n", LoadAverage().c_str());
    return allOk && within ? 0 : 1;
}
