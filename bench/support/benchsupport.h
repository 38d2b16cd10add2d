#pragma once

#include <sys/types.h>

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Busy-loop processes, one per online core, for as long as the object lives: the figures of a
// machine that has other work to do. Each process dies with its parent as well.
class BusyLoad {
  public:
    explicit BusyLoad(bool on);
    ~BusyLoad();
    BusyLoad(const BusyLoad&) = delete;
    BusyLoad& operator=(const BusyLoad&) = delete;
    // Ends the load before the object goes.
    void stop();

  private:
    std::vector<pid_t> spinners_;
};

// The machine-load label of a row.
const char* LoadLabel(bool busy);

// CPU time of this process, every thread of it, children not included.
double CpuSeconds();

// A "Vm..." field of /proc/self/status (VmRSS, VmHWM) in megabytes; 0 when it cannot be read.
double StatusMegabytes(const char* field);

// A whole decimal number above zero, nothing before or after it.
std::optional<long> PositiveNumber(const char* text);

timespec AddNanoseconds(timespec t, long ns);

// Median of the values (sorted in place); 0 for none.
double Median(std::vector<double>& values);

// The command line, taken one word at a time.
class Arguments {
  public:
    Arguments(int argc, char** argv) : argc_(argc), argv_(argv) {}
    bool more() const { return next_ < argc_; }
    std::string take() { return argv_[next_++]; }
    // The value of the option just taken; empty when there is none.
    std::optional<std::string> takeValue() {
        if (!more()) return std::nullopt;
        return take();
    }
    // The value of `option`, just taken, as a whole number above zero; otherwise none, and
    // error says so.
    std::optional<long> takePositive(const std::string& option, std::string& error) {
        const std::optional<std::string> value = takeValue();
        std::optional<long> number = value ? PositiveNumber(value->c_str()) : std::nullopt;
        if (!number) error = option + " needs a whole number above zero";
        return number;
    }

  private:
    int argc_;
    char** argv_;
    int next_ = 1;
};

// Command-line conventions every bench shares: --busy, --label TEXT (a first "code" column,
// so that bench/compare can put the old and the new code side by side), --no-header.
struct CommonOptions {
    bool busy = false;
    std::string label;
    bool header = true;

    // Handles the option when it is one of these; a wrong value is reported in error.
    bool take(const std::string& option, Arguments& arguments, std::string& error);
    // The "code" column for a header or a row (text padded), empty without --label.
    std::string codeColumn(const std::string& text) const;
};

inline constexpr const char* CommonOptionsHelp =
    "  --busy             run one busy-loop process per core while measuring\n"
    "  --label TEXT       add a first column \"code\" holding TEXT (used by bench/compare)\n"
    "  --no-header        print the rows only\n"
    "  --help             show this text\n";

// Exit status of wrong arguments; the message goes to stderr with a pointer to --help.
int UsageError(const char* program, const std::string& error);

// A bench's own options: false for an option it does not know; a wrong value is put in error.
using OwnOptions =
    std::function<bool(const std::string& option, Arguments& arguments, std::string& error)>;

// The one option of benches that repeat their rows: --runs N, N positive.
OwnOptions RunsOption(long& runs);

// Reads the command line: the common options and --help here, the bench's own through `own`.
// Returns the exit status when the program is to end at once (after --help or a wrong one).
std::optional<int> ReadCommandLine(int argc, char** argv, const char* program, const char* usage,
                                   CommonOptions& common, const OwnOptions& own);

// The machine's load average line (/proc/loadavg), or "unknown".
std::string LoadAverage();

// What a child process cost, from its own accounting.
struct ProcessFigures {
    int status = -1;  // the exit status, or -1 when it did not exit
    double wallMs = 0;
    double peakMb = 0;
    long minorFaults = 0;
    long majorFaults = 0;
    double cpuSeconds = 0;
};

// Runs the program words[0] with the rest as its arguments, its output thrown away, and waits
// for it: the program's own options must bound its time.
ProcessFigures RunQuietly(std::vector<std::string> words);
