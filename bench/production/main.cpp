// A production run of 8 and of 32 tvrsim radios at 9600 bit/s (read, checks, write and
// read-back, no link test) through the production window, recording into a SQLite file, set
// beside tvrctl apply on the same 8 radios: what a station costs over the plain apply, how it
// grows with the tray, and how long the window's thread is ever kept from its events.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/productionwindow.h"
#include "bench/support/benchsupport.h"
#include "bench/support/radioprocess.h"
#include "core/language.h"
#include "core/messages.h"
#include "radio/profile.h"
#include "serial/portopener.h"

namespace {

constexpr const char* Usage =
    "Usage: bench_production [OPTION]...\n"
    "Starts 32 tvrsim radios at 9600 bit/s, no parity, and configures them with one profile\n"
    "(channel, air rate and ID; the serial settings stay): tvrctl apply on 8 of them, then a\n"
    "run of the production window (offscreen; write and read-back, no link test, each radio\n"
    "recorded in a SQLite file) on the same 8, then tvrctl apply and the window on all 32;\n"
    "each in turn, --runs times.\n"
    "\n"
    "  --runs N           runs of each row (default 3)\n"
    "%s"
    "\n"
    "Columns: the row (apply8, run8, apply32, run32), the run, its wall time in ms from the\n"
    "start to the last radio done, how many radios passed, the CPU time it took (the bench's\n"
    "own process for a run, tvrctl's for an apply; tvrsim's is not counted), and for a run the\n"
    "longest time in ms the window's thread was kept from a 5 ms timer beyond its period.\n"
    "Exit status 0 when every radio passed, the median of run8 is at most 1.3 times that of\n"
    "apply8, the median of run32 at most 1.5 times that of run8, and the window's thread was\n"
    "never kept more than 50 ms; 1 otherwise, 2 on wrong arguments.\n";

constexpr int Radios = 32;
constexpr int Tray = 8;
constexpr double OverApplyLimit = 1.3;
constexpr double GrowthLimit = 1.5;
constexpr int TimeoutSeconds = 30;
constexpr int TickMs = 5;
constexpr double BusyLimitMs = 50;

// Channel 5, air rate 19200, ID 0042; the serial settings stay at 9600 none for the next run.
const RadioProfile Profile{4, 4, {}, {}, QStringLiteral("0042")};

using Radio = RadioProcess;

bool StartRadio(Radio& radio, const QTemporaryDir& directory, int n) {
    return radio.start(QStringLiteral(TVRSIM_PATH),
                       directory.filePath(QStringLiteral("radio%1").arg(n)), {"--baud", "9600"});
}

struct Row {
    double wallMs = 0;
    int passed = 0;
    double cpuSeconds = 0;
    double busyMs = 0;  // the window's thread's longest stall; 0 for an apply
};

// The window's thread's longest stall: how much later than its period a timer's tick came.
class StallMeter : public QObject {
  public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            longestMs_ = std::max(longestMs_, since_.nsecsElapsed() / 1e6 - TickMs);
            since_.start();
        });
        since_.start();
        timer_.start(TickMs);
    }
    double longestMs() const { return longestMs_; }

  private:
    QTimer timer_;
    QElapsedTimer since_;
    double longestMs_ = 0;
};

Row RunWindow(const QString& profile, const QString& database, const std::vector<Radio>& radios,
              int count) {
    TFormProduction window([] { return WriteSelection{}; }, OpenNamedPort,
                           [] { return QList<ListedDevice>{}; }, nullptr);
    window.ChooseProfile = [&] { return profile; };
    window.ButtonLoadProfileClick();
    window.CheckEveryAdapter->setChecked(false);
    for (int i = 0; i < count; ++i) {
        window.EditAddPort->setText(radios[i].link);
        window.ButtonAddPortClick();
    }
    window.RadioSameId->setChecked(true);
    window.EditSameId->setText(QStringLiteral("0042"));
    window.EditDatabase->setText(database);
    window.show();
    QEventLoop loop;
    QObject::connect(&window, &TFormProduction::runFinished, &loop, &QEventLoop::quit);
    // Past every session's own time-out, the run is stopped.
    QTimer::singleShot((TimeoutSeconds + 5) * 1000, &window, [&] { window.ButtonStopClick(); });
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const StallMeter stalls;
    window.ButtonStartClick();
    loop.exec();
    Row row{wall.nsecsElapsed() / 1e6, 0, CpuSeconds() - cpuBefore, stalls.longestMs()};
    for (const ProductionRow& r : window.run()->rows()) row.passed += r.passed.value_or(false);
    return row;
}

Row RunApply(const QString& profile, const std::vector<Radio>& radios, int count) {
    std::vector<std::string> words{TVRCTL_PATH, "apply", profile.toStdString(), "--timeout",
                                   std::to_string(TimeoutSeconds)};
    for (int i = 0; i < count; ++i) {
        words.push_back("--port");
        words.push_back(radios[i].link.toStdString());
    }
    const ProcessFigures figures = RunQuietly(std::move(words));
    return {figures.wallMs, figures.status == 0 ? count : 0, figures.cpuSeconds};
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = "bench_production";
    CommonOptions common;
    long runs = 3;
    const std::optional<int> stop =
        ReadCommandLine(argc, argv, program, Usage, common, RunsOption(runs));
    if (stop) return *stop;

    if (common.header) {
        std::printf(
            "# production: a run of 8 and of 32 tvrsim radios at 9600 N beside tvrctl "
            "apply on 8 (load %s)\n",
            LoadAverage().c_str());
        std::printf("%s%-4s %-7s %3s %8s %6s %6s %7s\n", common.codeColumn("code").c_str(), "load",
                    "row", "run", "wall ms", "passed", "CPU s", "busy ms");
    }
    std::fflush(stdout);
    const std::string lead = common.codeColumn(common.label) + LoadLabel(common.busy);
    BusyLoad load(common.busy);

    int appArgc = 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(appArgc, argv);
    LanguageFlag = 1;
    // A message would wait for an answer no one gives: it is printed instead.
    SetMessagePresenter([](const Message& message) {
        std::fprintf(stderr, "message: %s\n", qPrintable(message.text));
        return MessageAnswer::Ok;
    });
    QTemporaryDir directory;
    std::vector<Radio> radios(Radios);
    bool ok = directory.isValid();
    for (int i = 0; ok && i < Radios; ++i) ok = StartRadio(radios[i], directory, i + 1);
    const QString profile = directory.filePath(QStringLiteral("profile.json"));
    const QString database = directory.filePath(QStringLiteral("records.sqlite"));
    if (ok && !SaveProfileFile(profile, Profile).isEmpty()) ok = false;
    if (!ok) {
        std::printf("%-4s failed: tvrsim did not start or the profile was not saved\n",
                    lead.c_str());
        for (Radio& radio : radios) radio.stop();
        return 1;
    }

    std::vector<double> apply8;
    std::vector<double> run8;
    std::vector<double> apply32;
    std::vector<double> run32;
    bool allPassed = true;
    double busiestMs = 0;
    const auto show = [&](const char* name, long run, const Row& row, int count) {
        allPassed = allPassed && row.passed == count;
        busiestMs = std::max(busiestMs, row.busyMs);
        std::printf("%-4s %-7s %3ld %8.0f %6d %6.2f %7.1f\n", lead.c_str(), name, run, row.wallMs,
                    row.passed, row.cpuSeconds, row.busyMs);
        std::fflush(stdout);
    };
    for (long run = 1; run <= runs; ++run) {
        const Row apply = RunApply(profile, radios, Tray);
        show("apply8", run, apply, Tray);
        apply8.push_back(apply.wallMs);
        const Row eight = RunWindow(profile, database, radios, Tray);
        show("run8", run, eight, Tray);
        run8.push_back(eight.wallMs);
        // How 32 radios weigh on this machine without the run: beside run32, no limit.
        const Row applyAll = RunApply(profile, radios, Radios);
        show("apply32", run, applyAll, Radios);
        apply32.push_back(applyAll.wallMs);
        const Row all = RunWindow(profile, database, radios, Radios);
        show("run32", run, all, Radios);
        run32.push_back(all.wallMs);
    }
    for (Radio& radio : radios) radio.stop();
    load.stop();
    const double applyMs = Median(apply8);
    const double eightMs = Median(run8);
    const double allMs = Median(run32);
    const bool overApply = eightMs <= OverApplyLimit * applyMs;
    const bool growth = allMs <= GrowthLimit * eightMs;
    std::printf("# median: apply8 %.0f ms, run8 %.0f ms (%.2f times; limit %.1f): %s\n", applyMs,
                eightMs, eightMs / applyMs, OverApplyLimit, overApply ? "ok" : "missed");
    std::printf("# median: run32 %.0f ms (%.2f times run8; limit %.1f): %s\n", allMs,
                allMs / eightMs, GrowthLimit, growth ? "ok" : "missed");
    std::printf("# median: apply32 %.0f ms (%.2f times apply8; no limit)\n", Median(apply32),
                Median(apply32) / applyMs);
    const bool responsive = busiestMs <= BusyLimitMs;
    std::printf("# the window's thread kept at most %.1f ms (limit %.0f): %s\n", busiestMs,
                BusyLimitMs, responsive ? "ok" : "missed");
    std::printf("# every radio passed: %s; load %s\n", allPassed ? "ok" : "missed",
                LoadAverage().c_str());
    return allPassed && overApply && growth && responsive ? 0 : 1;
}
