// Takes the README's screenshots of the main window: the program as started by scripts/run
// (COM1 the simulated radio), after a Read and two sends that the far end echoed; and of the
// production window during a run of eight tvrsim radios.
// Usage (under a display, e.g. xvfb-run): tvr_screenshots light|dark|production en|zh FILE.png
// The program ends with status 1 however it is left (as Exit does); the file tells.
#include <QApplication>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/lifecycle.h"
#include "app/mainwindow.h"
#include "app/productionwindow.h"
#include "app/startup.h"
#include "app/windows.h"
#include "radio/profile.h"
#include "tests/support/palettes.h"
#include "tests/support/processes.h"

namespace {

// One step of the session after another, each once the one before has had time to show.
void After(int ms, std::function<void()> step) {
    QTimer::singleShot(ms, qApp, std::move(step));
}

void AnswerMessages() {
    while (QWidget* box = QApplication::activeModalWidget()) box->close();
}

// Eight radios on a tray: most at the factory's 9600 bit/s, two at settings the search meets
// later, one of a model the checks refuse.
const QList<QStringList> TrayRadios{{},
                                    {},
                                    {"--baud", "38400", "--parity", "O"},
                                    {},
                                    {"--model", "2"},
                                    {},
                                    {"--baud", "115200", "--parity", "E"},
                                    {}};

// File > Production… with the tray's ports, IDs from a range, started; the window is taken
// while the slower radios are still being found.
void ShootProduction(RadioFolder& tray, const QString& file) {
    Form1->findChild<QAction*>(QStringLiteral("FileProduction"))->trigger();
    auto* window = Form1->findChild<TFormProduction*>();
    window->EditDatabase->setText(tray.path(QStringLiteral("records.sqlite")));
    const QString profile = tray.path(QStringLiteral("customer.json"));
    if (SaveProfileFile(profile, {2, 4, std::nullopt, std::nullopt, std::nullopt}).isEmpty()) {
        window->ChooseProfile = [profile] { return profile; };
        window->ButtonLoadProfileClick();
    }
    window->CheckEveryAdapter->setChecked(false);
    for (int i = 0; i < TrayRadios.size(); ++i) {
        window->EditAddPort->setText(tray.radio(QStringLiteral("radio%1").arg(i), TrayRadios[i]));
        window->ButtonAddPortClick();
    }
    window->SpinModel->setValue(3);
    window->RadioNextId->setChecked(true);
    window->EditIdRange->setText(QStringLiteral("0100-0199"));
    window->EditOperator->setText(QStringLiteral("Li Wei"));
    window->resize(1180, 640);
    window->ButtonStartClick();
    After(1500, [window, file, &tray] {
        if (!window->grab().save(file, "PNG"))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        // The program's end does not wait for the radios: they go first.
        window->ButtonStopClick();
        tray.end();
        QApplication::quit();
    });
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
    RadioFolder tray(QStringLiteral(TVRSIM_PATH));
    if (theme == QLatin1String("production")) {
        if (!tray.begin()) return 1;
        After(500, [&] { ShootProduction(tray, file); });
        return RunProgram(
            ParseCommandLine({QStringLiteral("tvrsetup"), QStringLiteral("--lang"), language}));
    }
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
