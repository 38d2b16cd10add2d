#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include "app/lifecycle.h"
#include "app/startup.h"

int main(int argc, char* argv[]) {
    ConfigureApplication();
    StartupOptions options;
    {
        // The command line is read before any window system is touched, so that --help,
        // --version and argument errors work over SSH and in a build without a display.
        QCoreApplication parsing(argc, argv);
        options = ParseCommandLine(QCoreApplication::arguments());
    }
    if (options.exitStatus) {
        std::fputs(options.output.toLocal8Bit().constData(),
                   *options.exitStatus == 0 ? stdout : stderr);
        return *options.exitStatus;
    }
    if (!DisplayNamed()) {
        std::fputs(NoDisplayText().toLocal8Bit().constData(), stderr);
        return 2;
    }
    const std::unique_ptr<QApplication> application = CreateApplication(argc, argv);
    ExitOnTerminationSignals();
    return RunProgram(options);
}
