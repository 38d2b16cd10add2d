// Takes the README's screenshots of the main window: the program as started by scripts/run
// (COM1 the simulated radio), after a Read and two sends that the far end echoed.
// Usage (under a display, e.g. xvfb-run): tvr_screenshots light|dark en|zh FILE.png
// The program ends with status 1 however it is left (as Exit does); the file tells.
#include <QApplication>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/lifecycle.h"
#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/windows.h"
#include "tests/support/palettes.h"

namespace {

// One step of the session after another, each once the one before has had time to show.
void After(int ms, std::function<void()> step) {
    QTimer::singleShot(ms, qApp, std::move(step));
}

void AnswerMessages() {
    while (QWidget* box = QApplication::activeModalWidget()) box->close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: tvr_screenshots light|dark en|zh FILE.png\n", stderr);
        return 1;
    }
    const QString theme = QString::fromLocal8Bit(argv[1]);
    const QString language = QString::fromLocal8Bit(argv[2]);
    const QString file = QString::fromLocal8Bit(argv[3]);
    // The user's preferences stay as they are.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    ConfigureApplication();
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (theme == QLatin1String("dark")) QApplication::setPalette(DarkPalette());
    After(500, [] { Form1->Speed_RClick(); });
    After(3000, [] {
        AnswerMessages();
        Form1->Memo_Trtt->setPlainText(QStringLiteral("Hello radio 0123456789"));
        Form1->Button_ManulTrttClick();
    });
    After(3600, [] { Form1->Button_ManulTrttClick(); });
    After(4600, [&] {
        AnswerMessages();
        if (!Form1->grab().save(file, "PNG")) std::fprintf(stderr, "cannot write %s\n", argv[3]);
        QApplication::quit();
    });
    // Leaving the program ends the process, as Exit does.
    return RunProgram(
        ParseCommandLine({QStringLiteral("tvrsetup"), QStringLiteral("--lang"), language,
                          QStringLiteral("--port"), QStringLiteral("sim")}));
}
