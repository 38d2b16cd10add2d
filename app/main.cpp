#include <QApplication>
#include <cstdio>

#include "app/startup.h"
#include "core/language.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tvrsetup"));
    QApplication::setApplicationDisplayName(ApplicationTitle());
    QApplication::setApplicationVersion(QStringLiteral(TVR_VERSION));

    const StartupOptions options = ParseCommandLine(QApplication::arguments());
    if (options.exitStatus) {
        std::fputs(options.output.toLocal8Bit().constData(),
                   *options.exitStatus == 0 ? stdout : stderr);
        return *options.exitStatus;
    }
    return RunProgram(options);
}
