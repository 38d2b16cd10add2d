#include "bench/support/benchsupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

BusyLoad::BusyLoad(bool on) {
    if (!on) return;
    const long cores = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
    const pid_t parent = getpid();
    for (long i = 0; i < cores; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            // The parent may have gone before the death signal was armed.
            if (getppid() != parent) _exit(0);
            volatile unsigned long spin = 0;
            for (;;) spin = spin + 1;
        }
        if (pid > 0) spinners_.push_back(pid);
    }
}

BusyLoad::~BusyLoad() {
    stop();
}

void BusyLoad::stop() {
    for (const pid_t pid : spinners_) kill(pid, SIGKILL);
    for (const pid_t pid : spinners_) waitpid(pid, nullptr, 0);
    spinners_.clear();
}

const char* LoadLabel(bool busy) {
    return busy ? "busy" : "idle";
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double StatusMegabytes(const char* field) {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return 0;
    const size_t fieldLength = std::strlen(field);
    char line[256];
    double megabytes = 0;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, fieldLength) == 0 && line[fieldLength] == ':') {
            megabytes = std::strtod(line + fieldLength + 1, nullptr) / 1024;
            break;
        }
    }
    std::fclose(status);
    return megabytes;
}

std::optional<long> PositiveNumber(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value <= 0) return std::nullopt;
    return value;
}

timespec AddNanoseconds(timespec t, long ns) {
    t.tv_nsec += ns;
    while (t.tv_nsec >= 1000000000L) {
        t.tv_nsec -= 1000000000L;
        ++t.tv_sec;
    }
    return t;
}

double Median(std::vector<double>& values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool CommonOptions::take(const std::string& option, Arguments& arguments, std::string& error) {
    if (option == "--busy") {
        busy = true;
    } else if (option == "--no-header") {
        header = false;
    } else if (option == "--label") {
        const std::optional<std::string> text = arguments.takeValue();
        if (!text || text->empty()) error = "--label needs a text";
        label = text.value_or(std::string());
    } else {
        return false;
    }
    return true;
}

std::string CommonOptions::codeColumn(const std::string& text) const {
    if (label.empty()) return {};
    char column[64];
    std::snprintf(column, sizeof column, "%-9s ", text.c_str());
    return column;
}

int UsageError(const char* program, const std::string& error) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program, error.c_str(), program);
    return 2;
}

OwnOptions RunsOption(long& runs) {
    return [&runs](const std::string& option, Arguments& arguments, std::string& error) {
        if (option != "--runs") return false;
        runs = arguments.takePositive(option, error).value_or(runs);
        return true;
    };
}

std::optional<int> ReadCommandLine(int argc, char** argv, const char* program, const char* usage,
                                   CommonOptions& common, const OwnOptions& own) {
    Arguments arguments(argc, argv);
    while (arguments.more()) {
        const std::string option = arguments.take();
        std::string error;
        if (option == "--help") {
            std::printf(usage, CommonOptionsHelp);
            return 0;
        }
        if (!common.take(option, arguments, error) && !own(option, arguments, error)) {
            return UsageError(program, "unknown option " + option);
        }
        if (!error.empty()) return UsageError(program, error);
    }
    return std::nullopt;
}

std::string LoadAverage() {
    std::FILE* file = std::fopen("/proc/loadavg", "r");
    if (!file) return "unknown";
    char line[128] = {};
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    if (!read) return "unknown";
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

ProcessFigures RunQuietly(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    ProcessFigures figures;
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        if (quiet >= 0) dup2(quiet, STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return figures;
    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &end);
    figures.wallMs = (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
    if (WIFEXITED(status)) figures.status = WEXITSTATUS(status);
    figures.peakMb = usage.ru_maxrss / 1024.0;
    figures.minorFaults = usage.ru_minflt;
    figures.majorFaults = usage.ru_majflt;
    figures.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return figures;
}
