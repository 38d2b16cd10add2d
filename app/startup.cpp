#include "app/startup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/language.h"
#include "app/mainwindow.h"
#include "app/messageboxes.h"
#include "app/preferences.h"
#include "app/windows.h"
#include "core/language.h"
#include "core/messages.h"
#include "serial/portnames.h"
#include "serial/portopener.h"
#include "serial/seriallink.h"
#include "sim/simulatedport.h"

namespace {

QtMessageHandler handlerBeforeApplication = nullptr;

// Qt ends with a fatal message (and an abort) when its platform plugin cannot reach the
// display; while the application object is built, that message becomes the program's one line.
void EndWhenDisplayFails(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        handlerBeforeApplication(type, context, text);
        return;
    }
    std::fputs(NoDisplayText().toLocal8Bit().constData(), stderr);
    std::_Exit(2);
}

}  // namespace

void ConfigureApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("tvrsetup"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TVR_VERSION));
    // On Wayland the desktop finds the menu entry, and with it the icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(TVR_APP_ID));
}

StartupOptions ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Configures and tests a radio data modem on a serial port."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and exits."));
    const QCommandLineOption lang(
        QStringLiteral("lang"),
        QStringLiteral("Language of the texts: en or zh (default: the one used last, else en)."),
        QStringLiteral("en|zh"));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Puts DEVICE into the next COM slot, ahead of the system's ports "
                       "(repeatable). \"sim\" is the built-in simulated radio; rfc2217://HOST:PORT "
                       "and socket://HOST:PORT are ports behind a network serial server."),
        QStringLiteral("DEVICE"));
    const QCommandLineOption reset(
        QStringLiteral("reset-settings"),
        QStringLiteral("Forgets the remembered language, port, window place and data test "
                       "choices before starting."));
    parser.addOptions({help, version, lang, port, reset});

    StartupOptions options;
    if (!parser.parse(arguments)) {
        options.exitStatus = 2;
        options.output = parser.errorText() + QStringLiteral("\n");
        return options;
    }
    if (parser.isSet(help)) {
        options.exitStatus = 0;
        options.output = parser.helpText();
        return options;
    }
    if (parser.isSet(version)) {
        options.exitStatus = 0;
        options.output = QStringLiteral("tvrsetup %1\n").arg(QStringLiteral(TVR_VERSION));
        return options;
    }
    const QString language = parser.value(lang);
    if (parser.isSet(lang) && language != QStringLiteral("en") &&
        language != QStringLiteral("zh")) {
        options.exitStatus = 2;
        options.output = QStringLiteral("Unknown language '%1': use en or zh.\n").arg(language);
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.exitStatus = 2;
        options.output =
            QStringLiteral("Unexpected argument '%1'.\n").arg(parser.positionalArguments().first());
        return options;
    }
    // An empty name would leave its COM slot empty, and a Read would search the other ports.
    if (parser.values(port).contains(QString())) {
        options.exitStatus = 2;
        options.output = QStringLiteral("--port needs a device name.\n");
        return options;
    }
    if (parser.isSet(lang)) options.languageFlag = language == QStringLiteral("en") ? 1 : 0;
    options.ports = parser.values(port);
    options.resetSettings = parser.isSet(reset);
    return options;
}

bool DisplayNamed() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

QString NoDisplayText() {
    return QStringLiteral(
        "tvrsetup: no display can be opened: set DISPLAY or WAYLAND_DISPLAY, or run it as "
        "xvfb-run -a tvrsetup\n");
}

std::unique_ptr<QApplication> CreateApplication(int& argc, char** argv) {
    handlerBeforeApplication = qInstallMessageHandler(EndWhenDisplayFails);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(handlerBeforeApplication);
    return application;
}

OpenResult OpenPortDevice(const QString& name) {
    if (name.compare(QStringLiteral("SIM"), Qt::CaseInsensitive) == 0) {
        return OpenSimulatedDemoPort();
    }
    return OpenNamedPort(name);
}

int RunProgram(const StartupOptions& options) {
    SetPreferencesFile(UserPreferencesFile());
    const Preferences saved = StartPreferences(options);
    LoadQtTranslations();
    SetPinnedPorts(options.ports);
    Link().setOpener(OpenPortDevice);
    InstallMessageBoxes();
    CreateWindows();
    ApplyPreferences(saved, !options.ports.isEmpty());
    Form1->show();
    try {
        return QApplication::exec();
    } catch (const std::exception& error) {
        ShowErrorReport(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowErrorReport(QString());
    }
    return 0;
}
