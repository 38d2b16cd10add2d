#include "app/startup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <exception>

#include "app/mainwindow.h"
#include "app/messageboxes.h"
#include "app/windows.h"
#include "core/language.h"
#include "core/messages.h"
#include "serial/portnames.h"
#include "serial/qtserialdevice.h"
#include "serial/seriallink.h"
#include "sim/simulatedport.h"

StartupOptions ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Configures and tests a radio data modem on a serial port."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and exits."));
    const QCommandLineOption lang(QStringLiteral("lang"),
                                  QStringLiteral("Language of the texts: en (default) or zh."),
                                  QStringLiteral("en|zh"), QStringLiteral("en"));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Puts DEVICE into the next COM slot, ahead of the system's ports "
                       "(repeatable). \"sim\" is the built-in simulated radio."),
        QStringLiteral("DEVICE"));
    parser.addOptions({help, version, lang, port});

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
    if (language != QStringLiteral("en") && language != QStringLiteral("zh")) {
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
    options.languageFlag = language == QStringLiteral("en") ? 1 : 0;
    options.ports = parser.values(port);
    return options;
}

OpenResult OpenPortDevice(const QString& name) {
    if (name.compare(QStringLiteral("SIM"), Qt::CaseInsensitive) == 0) {
        return OpenSimulatedDemoPort();
    }
    return OpenQtSerialDevice(name);
}

int RunProgram(const StartupOptions& options) {
    LanguageFlag = options.languageFlag;
    SetPinnedPorts(options.ports);
    Link().setOpener(OpenPortDevice);
    InstallMessageBoxes();
    CreateWindows();
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
