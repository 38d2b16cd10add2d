// Time from pressing Read to "Read correct!" against tvrsim, a simulated radio behind a
// pseudo-terminal, with the program's real serial port and timers. Every run starts from a
// closed port, so each one is a first read: it opens the port, finds the radio and reads it.

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/mainwindow.h"
#include "app/windows.h"
#include "bench/support/benchsupport.h"
#include "core/language.h"
#include "core/messages.h"
#include "serial/portnames.h"
#include "serial/seriallink.h"

namespace {

constexpr const char* Usage =
    "Usage: bench_firstread [OPTION]...\n"
    "Starts tvrsim (a radio at 9600 bit/s behind a pseudo-terminal) and times the main\n"
    "window's Read from the press to the message \"Read correct!\". The port is closed before\n"
    "every run, so each run opens it again, like the first read after start-up.\n"
    "\n"
    "  --runs N           number of reads (default 10)\n"
    "  --delay MS         the radio answers MS ms late (tvrsim --fault delay=MS)\n"
    "%s"
    "\n"
    "Columns: runs, ok (runs that ended in \"Read correct!\"), median, min and max ms over the\n"
    "good runs, then every run's time (a failed run shows its message instead).\n"
    "Exit status 0 when every run read the radio, 1 otherwise, 2 on wrong arguments.\n";

constexpr const char* RadioBaud = "9600";
constexpr const char* ReadCorrect = "Read correct!";
constexpr int RunTimeoutMs = 30000;
constexpr int RadioStartMs = 5000;
// Between runs, so that nothing of one run reaches into the next.
constexpr int RestMs = 300;

struct Options {
    CommonOptions common;
    long runs = 10;
    std::optional<long> delayMs;
};

struct Run {
    QString message;  // the first message of the run, empty when none came in time
    double ms = 0;
};

void Settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Starts tvrsim behind the link and waits until the link is there.
bool StartRadio(QProcess& radio, const QString& link, const Options& options) {
    QStringList arguments{QStringLiteral("--link"), link, QStringLiteral("--baud"),
                          QString::fromLatin1(RadioBaud)};
    if (options.delayMs) {
        arguments << QStringLiteral("--fault") << QStringLiteral("delay=%1").arg(*options.delayMs);
    }
    radio.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    radio.start(QStringLiteral(TVRSIM_PATH), arguments);
    if (!radio.waitForStarted(RadioStartMs)) return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < RadioStartMs && radio.state() == QProcess::Running) {
        if (QFileInfo(link).isSymLink()) return true;
        radio.waitForReadyRead(50);
    }
    return false;
}

void StopRadio(QProcess& radio) {
    if (radio.state() == QProcess::NotRunning) return;
    radio.terminate();
    if (!radio.waitForFinished(3000)) radio.kill();
    radio.waitForFinished(1000);
}

class FirstRead {
  public:
    FirstRead() {
        SetMessagePresenter([this](const Message& m) {
            if (!done_) {
                run_.message = m.text;
                run_.ms = clock_.nsecsElapsed() / 1e6;
                done_ = true;
                loop_.quit();
            } else {
                std::fprintf(stderr, "message after the run's end: %s\n", qPrintable(m.text));
            }
            return MessageAnswer::Ok;
        });
    }

    Run run() {
        Link().ClosePort();
        Settle(RestMs);
        run_ = {};
        done_ = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop_, &QEventLoop::quit);
        guard.start(RunTimeoutMs);
        clock_.start();
        Form1->Speed_RClick();
        // The message may come at once, or later from the event loop.
        if (!done_) loop_.exec();
        done_ = true;
        return run_;
    }

  private:
    QElapsedTimer clock_;
    QEventLoop loop_;
    Run run_;
    bool done_ = true;
};

}  // namespace

int main(int argc, char** argv) {
    const char* program = "bench_firstread";
    Options options;
    const std::optional<int> stop = ReadCommandLine(
        argc, argv, program, Usage, options.common,
        [&](const std::string& option, Arguments& arguments, std::string& error) {
            if (option == "--runs") {
                options.runs = arguments.takePositive(option, error).value_or(options.runs);
            } else if (option == "--delay") {
                options.delayMs = arguments.takePositive(option, error);
            } else {
                return false;
            }
            return true;
        });
    if (stop) return *stop;

    const CommonOptions& common = options.common;
    const std::string delay =
        options.delayMs ? "delay=" + std::to_string(*options.delayMs) + " ms" : "none";
    if (common.header) {
        std::printf("# firstread: Read to \"%s\" from a closed port; tvrsim at %s N, fault %s\n",
                    ReadCorrect, RadioBaud, delay.c_str());
        std::printf("%s%-4s %4s %3s %9s %9s %9s  %s\n", common.codeColumn("code").c_str(), "load",
                    "runs", "ok", "median ms", "min ms", "max ms", "each run ms");
    }
    std::fflush(stdout);
    const std::string lead = common.codeColumn(common.label) + LoadLabel(common.busy);
    BusyLoad load(common.busy);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int appArgc = 1;
    QApplication app(appArgc, argv);
    LanguageFlag = 1;
    FirstRead bench;
    CreateWindows();
    Form1->show();

    QTemporaryDir directory;
    const QString link = directory.filePath(QStringLiteral("radio"));
    QProcess radio;
    if (!directory.isValid() || !StartRadio(radio, link, options)) {
        std::printf("%-4s failed: tvrsim did not start (%s)\n", lead.c_str(), TVRSIM_PATH);
        StopRadio(radio);
        std::fflush(nullptr);
        _exit(1);
    }
    SetPinnedPorts({link});

    std::vector<double> goodMs;
    std::string each;
    for (long i = 0; i < options.runs; ++i) {
        const Run run = bench.run();
        if (run.message == QString::fromLatin1(ReadCorrect)) {
            goodMs.push_back(run.ms);
            each += " " + std::to_string(static_cast<long>(run.ms + 0.5));
        } else {
            const QString shown =
                run.message.isEmpty() ? QStringLiteral("(no message)") : run.message;
            each += " [" + shown.toStdString() + "]";
        }
    }
    Link().ClosePort();
    StopRadio(radio);
    load.stop();

    const size_t good = goodMs.size();
    if (good > 0) {
        const auto [fastest, slowest] = std::minmax_element(goodMs.begin(), goodMs.end());
        std::printf("%-4s %4ld %3zu %9.1f %9.1f %9.1f %s\n", lead.c_str(), options.runs, good,
                    Median(goodMs), *fastest, *slowest, each.c_str());
    } else {
        std::printf("%-4s %4ld %3zu %9s %9s %9s %s\n", lead.c_str(), options.runs, good, "-", "-",
                    "-", each.c_str());
    }
    std::fflush(nullptr);
    // The windows live until the process ends, as in the program.
    _exit(good == static_cast<size_t>(options.runs) ? 0 : 1);
}
