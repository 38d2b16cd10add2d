// tvrsim: the simulated radio behind a pseudo-terminal, for end-to-end tests and for trying
// the program with two stations on one machine.

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iostream>
#include <memory>
#include <vector>

#include "tools/tvrsim/options.h"
#include "tools/tvrsim/ptyend.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Bytes the program wrote that the model holds before tvrsim stops taking more; the program's
// writes then wait in the pseudo-terminal, as they would on a UART with flow control.
constexpr size_t MaxHeldInput = 64 * 1024;
constexpr SimDuration MaxPollWait = 100ms;

volatile sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

struct Station {
    PtyEnd pty;
    std::unique_ptr<SimulatedRadio> radio;
    std::deque<uint8_t> toProgram;  // taken from the model, not yet taken by the pty
    std::string name;
};

void LogFrame(FILE* log, const Station& station, bool incoming, const std::vector<uint8_t>& frame) {
    const double seconds = std::chrono::duration<double>(station.radio->now()).count();
    std::fprintf(log, "%.3f %s %s", seconds, station.name.c_str(), incoming ? "in " : "out");
    for (const uint8_t byte : frame) std::fprintf(log, " %02X", byte);
    std::fputc('\n', log);
    std::fflush(log);
}

// Everything the master has for us: the program's bytes, and the kernel's reports of its
// setting changes and purges.
void TakeFromProgram(Station& station) {
    uint8_t buffer[4096];
    SimulatedRadio& radio = *station.radio;
    while (radio.hostPendingOutput() < MaxHeldInput) {
        const ssize_t n = ::read(station.pty.master, buffer, sizeof buffer);
        if (n <= 0) return;
        const uint8_t status = buffer[0];
        if (status == TIOCPKT_DATA) {
            radio.hostWrite(buffer + 1, static_cast<size_t>(n - 1));
            continue;
        }
        if (status & TIOCPKT_FLUSHREAD) {
            radio.hostPurgeInput();
            station.toProgram.clear();
        }
        if (status & TIOCPKT_FLUSHWRITE) radio.hostPurgeOutput();
        if (status & TIOCPKT_IOCTL) {
            if (const auto settings = ReadPtySettings(station.pty.master)) {
                radio.setHostLine(settings->line);
                if (!settings->extproc) station.pty.restoreExtproc();
            }
        }
    }
}

void GiveToProgram(Station& station) {
    uint8_t buffer[4096];
    SimulatedRadio& radio = *station.radio;
    while (radio.hostAvailable() > 0) {
        const size_t n = radio.hostRead(buffer, sizeof buffer);
        station.toProgram.insert(station.toProgram.end(), buffer, buffer + n);
    }
    while (!station.toProgram.empty()) {
        const size_t n = std::min(station.toProgram.size(), sizeof buffer);
        std::copy_n(station.toProgram.begin(), n, buffer);
        const ssize_t written = ::write(station.pty.master, buffer, n);
        if (written <= 0) return;
        station.toProgram.erase(station.toProgram.begin(), station.toProgram.begin() + written);
    }
}

int Run(const SimToolOptions& options) {
    // Caught from the start, so that a stop request never leaves a link behind. Blocked but
    // while waiting, so that one cannot slip in between the check and the wait.
    sigset_t blocked;
    sigset_t waiting;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigprocmask(SIG_BLOCK, &blocked, &waiting);
    sigdelset(&waiting, SIGINT);
    sigdelset(&waiting, SIGTERM);
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::vector<std::unique_ptr<Station>> stations;
    const auto addStation = [&](const std::string& link, uint32_t seed) -> std::string {
        auto station = std::make_unique<Station>();
        if (std::string error = station->pty.open(); !error.empty()) return error;
        if (!link.empty()) {
            if (std::string error = station->pty.makeLink(link); !error.empty()) return error;
        }
        LinkOptions air = options.air;
        air.seed = seed;
        station->radio = std::make_unique<SimulatedRadio>(options.radio, air);
        station->radio->setFaults(options.faults);
        station->name = link.empty() ? station->pty.slavePath : link;
        stations.push_back(std::move(station));
        return {};
    };
    const auto cleanUp = [&] {
        for (auto& station : stations) station->pty.removeLink();
    };

    std::string error = addStation(options.link, options.air.seed);
    if (error.empty() && !options.pairLink.empty()) {
        error = addStation(options.pairLink, options.air.seed + 1);
        if (error.empty()) stations[0]->radio->linkPeer(*stations[1]->radio);
    }
    if (!error.empty()) {
        std::cerr << "tvrsim: " << error << '\n';
        cleanUp();
        return 1;
    }

    FILE* log = nullptr;
    if (!options.logPath.empty()) {
        log = std::fopen(options.logPath.c_str(), "a");
        if (!log) {
            std::cerr << "tvrsim: cannot write " << options.logPath << ": " << std::strerror(errno)
                      << '\n';
            cleanUp();
            return 1;
        }
        for (auto& station : stations) {
            Station* s = station.get();
            s->radio->setFrameLog([log, s](bool incoming, const std::vector<uint8_t>& frame) {
                LogFrame(log, *s, incoming, frame);
            });
        }
    }

    for (size_t i = 0; i < stations.size(); ++i) {
        std::cout << "radio " << i + 1 << ": " << stations[i]->pty.slavePath;
        if (!stations[i]->pty.link.empty()) std::cout << " (link " << stations[i]->pty.link << ")";
        std::cout << std::endl;
    }

    const Clock::time_point start = Clock::now();
    const auto elapsed = [&] { return SimDuration(Clock::now() - start); };
    std::optional<SimDuration> vanishAt;
    if (options.vanishAfterMs) vanishAt = std::chrono::milliseconds(*options.vanishAfterMs);

    while (!stopRequested) {
        const SimDuration now = elapsed();
        for (auto& station : stations) station->radio->advanceTo(now);
        if (vanishAt && now >= *vanishAt) {
            for (auto& station : stations) {
                station->radio->vanish();
                station->pty.close();
            }
            vanishAt.reset();
        }

        std::vector<pollfd> fds;
        for (auto& station : stations) {
            if (station->pty.master < 0) continue;
            GiveToProgram(*station);
            short events = 0;
            if (station->radio->hostPendingOutput() < MaxHeldInput) events |= POLLIN;
            if (!station->toProgram.empty()) events |= POLLOUT;
            fds.push_back({station->pty.master, events, 0});
        }

        SimDuration wait = MaxPollWait;
        for (auto& station : stations) {
            if (const auto next = station->radio->nextEventTime()) {
                wait = std::min(wait, *next - now);
            }
        }
        if (vanishAt) wait = std::min(wait, *vanishAt - now);
        wait = std::max(wait, SimDuration::zero());
        const timespec timeout{static_cast<time_t>(wait.count() / 1'000'000'000),
                               static_cast<long>(wait.count() % 1'000'000'000)};
        if (ppoll(fds.data(), fds.size(), &timeout, &waiting) <= 0) continue;

        const SimDuration after = elapsed();
        for (auto& station : stations) {
            station->radio->advanceTo(after);
            if (station->pty.master >= 0) TakeFromProgram(*station);
        }
    }

    cleanUp();
    if (log) std::fclose(log);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const SimToolArgs args = ParseSimToolArgs(std::vector<std::string>(argv + 1, argv + argc));
    if (args.help) {
        std::cout << SimToolUsage();
        return 0;
    }
    if (args.version) {
        std::cout << SimToolVersion();
        return 0;
    }
    if (!args.options) {
        std::cerr << "tvrsim: " << args.error << "\nTry 'tvrsim --help'.\n";
        return 2;
    }
    return Run(*args.options);
}
