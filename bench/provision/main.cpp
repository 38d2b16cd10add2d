// Applies one profile to 1, 4, 8 and 32 radios at once, each a tvrsim at 9600 bit/s behind its
// own pseudo-terminal, with the sessions tvrctl apply runs (one engine per port, one event loop).
// Every radio's time is set beside the floor its exchanges put on it: the wire time of the
// bytes it received and sent, 10 bits each at 9600 bit/s, counted from tvrsim's frame log.
// Then the same with tvrctl itself, a process per run, for the memory and page faults the
// kernel counts for it.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/benchsupport.h"
#include "bench/support/radioprocess.h"
#include "core/language.h"
#include "radio/profile.h"
#include "serial/qtserialdevice.h"
#include "tools/tvrctl/sessionend.h"

namespace {

constexpr const char* Usage =
    "Usage: bench_provision [OPTION]...\n"
    "Applies one profile (channel, air rate and ID; the serial settings stay) to 1, 4, 8 and 32\n"
    "tvrsim radios at 9600 bit/s at once, as tvrctl apply does: the read, the write and the\n"
    "read-back of each radio, every radio on its own port. First in this process, then with\n"
    "tvrctl apply itself, a process per run.\n"
    "\n"
    "  --runs N           runs of each count (default 3)\n"
    "  --tvrctl PATH      measure this tvrctl (an older build, say) instead of the one built\n"
    "                     with the bench; the rows in this process, which are the bench's own\n"
    "                     code, are left out\n"
    "  --memory-limit MB  the most tvrctl may hold resident at any count (default 40)\n"
    "%s"
    "\n"
    "Columns in this process: radios, the run, the wall time from the start to the last radio\n"
    "verified, the wall time over the median for one radio, then each radio's time / its floor\n"
    "in ms: the wire time of the bytes it received and sent (10 bits a byte at 9600 bit/s).\n"
    "Columns of tvrctl: radios, the run, its wall time in ms and exit status, its peak\n"
    "resident memory in MB, its minor and major page faults and its CPU seconds, as the kernel\n"
    "counts them for the process (the figures /usr/bin/time -v shows).\n"
    "Exit status 0 when every radio was verified, the median wall time for 8 radios in this\n"
    "process is at most 1.5 times that for 1, and tvrctl ended with 0 within its memory limit;\n"
    "1 otherwise, 2 on wrong arguments.\n";

constexpr int Counts[] = {1, 4, 8, 32};
constexpr double BitsPerByte = 10;
constexpr double BitsPerSecond = 9600;
constexpr double WallLimit = 1.5;
constexpr int TimeoutSeconds = 30;

// Channel 5, air rate 19200, ID 0042; the serial settings stay at 9600 none for the next run.
const RadioProfile Profile{4, 4, {}, {}, QStringLiteral("0042")};

struct Radio : RadioProcess {
    QString log;
};

bool StartRadio(Radio& radio, const QTemporaryDir& directory, int n) {
    const QString link = directory.filePath(QStringLiteral("radio%1").arg(n));
    radio.log = link + QStringLiteral(".log");
    return radio.start(QStringLiteral(TVRSIM_PATH), link, {"--baud", "9600", "--log", radio.log});
}

// Bytes of the frames the radio logged from `offset` on: "SECONDS NAME in|out HEX...".
qint64 LoggedBytes(const QString& log, qint64 offset) {
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset)) return 0;
    qint64 bytes = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() > 3) bytes += words.size() - 3;
    }
    return bytes;
}

struct Row {
    double wallMs = 0;
    std::string radios;
    bool allVerified = true;
};

Row ApplyOnce(std::vector<Radio>& radios, int count) {
    std::vector<qint64> offsets;
    for (int i = 0; i < count; ++i) offsets.push_back(QFileInfo(radios[i].log).size());
    std::vector<std::unique_ptr<RadioSession>> sessions;
    for (int i = 0; i < count; ++i) {
        sessions.push_back(std::make_unique<RadioSession>(
            PortTarget{QStringLiteral("COM%1").arg(i + 1), radios[i].link}, OpenQtSerialDevice,
            TimeoutSeconds, TellSessionEnd));
    }
    QEventLoop loop;
    int left = count;
    for (const auto& session : sessions) {
        QObject::connect(session.get(), &RadioSession::finished, &loop, [&] {
            if (--left == 0) loop.quit();
        });
    }
    QElapsedTimer wall;
    wall.start();
    for (const auto& session : sessions) session->startWrite(Profile, true);
    loop.exec();
    Row row;
    row.wallMs = wall.nsecsElapsed() / 1e6;
    for (int i = 0; i < count; ++i) {
        const SessionResult& result = sessions[i]->result();
        const double floorMs =
            LoggedBytes(radios[i].log, offsets[i]) * BitsPerByte / BitsPerSecond * 1000;
        char cell[64];
        if (result.verified) {
            std::snprintf(cell, sizeof cell, " %.0f/%.0f", result.seconds * 1000, floorMs);
        } else {
            std::snprintf(cell, sizeof cell, " [%s]", qPrintable(result.error));
            row.allVerified = false;
        }
        row.radios += cell;
    }
    return row;
}

// tvrctl apply to the first `count` radios, its output thrown away; its own --timeout bounds
// the wait.
ProcessFigures RunTvrctl(const std::string& tvrctl, const QString& profile,
                         const std::vector<Radio>& radios, int count) {
    std::vector<std::string> words{tvrctl, "apply", profile.toStdString(), "--timeout",
                                   std::to_string(TimeoutSeconds)};
    for (int i = 0; i < count; ++i) {
        words.push_back("--port");
        words.push_back(radios[i].link.toStdString());
    }
    return RunQuietly(std::move(words));
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = "bench_provision";
    CommonOptions common;
    long runs = 3;
    std::string tvrctl = TVRCTL_PATH;
    bool inProcess = true;
    long memoryLimitMb = 40;
    const std::optional<int> stop = ReadCommandLine(
        argc, argv, program, Usage, common,
        [&](const std::string& option, Arguments& arguments, std::string& error) {
            if (option == "--runs") {
                runs = arguments.takePositive(option, error).value_or(runs);
            } else if (option == "--memory-limit") {
                memoryLimitMb = arguments.takePositive(option, error).value_or(memoryLimitMb);
            } else if (option == "--tvrctl") {
                const std::optional<std::string> path = arguments.takeValue();
                if (!path || ::access(path->c_str(), X_OK) != 0) {
                    error = "--tvrctl needs a program that can be run";
                }
                tvrctl = path.value_or(tvrctl);
                inProcess = false;
            } else {
                return false;
            }
            return true;
        });
    if (stop) return *stop;

    if (common.header) {
        std::printf(
            "# provision: one profile applied to N tvrsim radios at 9600 N at once "
            "(read, write, read-back)\n");
    }
    std::fflush(stdout);
    const std::string lead = common.codeColumn(common.label) + LoadLabel(common.busy);
    BusyLoad load(common.busy);

    int appArgc = 1;
    QCoreApplication application(appArgc, argv);
    LanguageFlag = 1;
    QTemporaryDir directory;
    std::vector<Radio> radios(*std::max_element(std::begin(Counts), std::end(Counts)));
    bool ok = directory.isValid();
    for (size_t i = 0; ok && i < radios.size(); ++i) {
        ok = StartRadio(radios[i], directory, static_cast<int>(i + 1));
    }
    if (!ok) {
        std::printf("%-4s failed: tvrsim did not start (%s)\n", lead.c_str(), TVRSIM_PATH);
        for (Radio& radio : radios) radio.stop();
        return 1;
    }

    double oneMs = 0;
    double eightMs = 0;
    bool allVerified = true;
    // The bench's own code: left out when another tvrctl is measured.
    if (inProcess) {
        if (common.header) {
            std::printf("%s%-4s %6s %3s %8s %6s  %s\n", common.codeColumn("code").c_str(), "load",
                        "radios", "run", "wall ms", "x one", "each radio ms / wire floor ms");
        }
        for (const int count : Counts) {
            std::vector<double> walls;
            for (long run = 1; run <= runs; ++run) {
                const Row row = ApplyOnce(radios, count);
                allVerified = allVerified && row.allVerified;
                walls.push_back(row.wallMs);
                const double overOne = oneMs > 0 ? row.wallMs / oneMs : 1;
                std::printf("%-4s %6d %3ld %8.0f %6.2f %s\n", lead.c_str(), count, run, row.wallMs,
                            overOne, row.radios.c_str());
                std::fflush(stdout);
            }
            const double median = Median(walls);
            if (count == 1) oneMs = median;
            if (count == 8) eightMs = median;
        }
    }

    const QString profile = directory.filePath(QStringLiteral("profile.json"));
    if (const QString why = SaveProfileFile(profile, Profile); !why.isEmpty()) {
        std::printf("%-4s failed: %s\n", lead.c_str(), qPrintable(why));
        return 1;
    }
    if (common.header) {
        std::printf("# tvrctl apply, a process per run: %s\n", tvrctl.c_str());
        std::printf("%s%-4s %6s %3s %8s %6s %8s %8s %6s %6s\n", common.codeColumn("code").c_str(),
                    "load", "radios", "run", "wall ms", "status", "peak MB", "minflt", "majflt",
                    "CPU s");
    }
    bool tvrctlOk = true;
    for (const int count : Counts) {
        for (long run = 1; run <= runs; ++run) {
            const ProcessFigures figures = RunTvrctl(tvrctl, profile, radios, count);
            tvrctlOk = tvrctlOk && figures.status == 0 && figures.peakMb <= memoryLimitMb;
            std::printf("%-4s %6d %3ld %8.0f %6d %8.1f %8ld %6ld %6.2f\n", lead.c_str(), count, run,
                        figures.wallMs, figures.status, figures.peakMb, figures.minorFaults,
                        figures.majorFaults, figures.cpuSeconds);
            std::fflush(stdout);
        }
    }
    for (Radio& radio : radios) radio.stop();
    load.stop();
    const bool withinLimit = !inProcess || eightMs <= WallLimit * oneMs;
    if (inProcess) {
        std::printf(
            "# median wall: 1 radio %.0f ms, 8 radios %.0f ms (%.2f times; limit %.1f): %s\n",
            oneMs, eightMs, eightMs / oneMs, WallLimit, withinLimit ? "ok" : "missed");
    }
    std::printf("# tvrctl: every run ended with 0 within %ld MB: %s\n", memoryLimitMb,
                tvrctlOk ? "ok" : "missed");
    return allVerified && withinLimit && tvrctlOk ? 0 : 1;
}
