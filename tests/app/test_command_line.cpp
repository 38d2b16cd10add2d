#include <QProcess>
#include <QTest>

// The built program on a machine without a display: the command line still works, and the
// lack of a display is one line and status 2, never an abort.
class CommandLineTest : public QObject {
    Q_OBJECT

    struct Run {
        int status = -1;
        QString out;
        QStringList errLines;
    };

    static Run run(const QStringList& args, const QString& display = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("DISPLAY"));
        if (!display.isEmpty()) environment.insert(QStringLiteral("DISPLAY"), display);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TVRSETUP_PATH), args);
        Run result;
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        if (process.exitStatus() == QProcess::NormalExit) result.status = process.exitCode();
        result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.errLines =
            QString::fromLocal8Bit(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
        return result;
    }

  private slots:
    void printsAndEndsWithoutDisplay_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("output");
        QTest::newRow("help") << QStringList{"--help"} << "--reset-settings";
        QTest::newRow("version") << QStringList{"--version"} << "tvrsetup 1.02\n";
    }
    void printsAndEndsWithoutDisplay() {
        QFETCH(QStringList, args);
        QFETCH(QString, output);
        const Run result = run(args);
        QCOMPARE(result.status, 0);
        QVERIFY2(result.out.contains(output), qPrintable(result.out));
        QCOMPARE(result.errLines, QStringList{});
    }

    void refusesOrSaysThereIsNoDisplay_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("lastLine");
        QTest::newRow("unknown option") << QStringList{"--colour"} << ""
                                        << "'colour'";
        QTest::newRow("bad language") << QStringList{"--lang", "fr"} << ""
                                      << "'fr'";
        QTest::newRow("no display") << QStringList{} << ""
                                    << "no display";
        QTest::newRow("good options, no display")
            << QStringList{"--lang", "zh", "--port", "sim"} << ""
            << "no display";
        // The platform plugin finds no server behind the name: Qt's own reasons, then ours.
        QTest::newRow("unreachable display") << QStringList{} << ":9999"
                                             << "no display";
    }
    void refusesOrSaysThereIsNoDisplay() {
        QFETCH(QStringList, args);
        QFETCH(QString, display);
        QFETCH(QString, lastLine);
        const Run result = run(args, display);
        QCOMPARE(result.status, 2);
        QVERIFY(!result.errLines.isEmpty());
        QVERIFY2(result.errLines.last().contains(lastLine), qPrintable(result.errLines.last()));
        if (display.isEmpty()) QCOMPARE(result.errLines.size(), 1);
        QVERIFY(result.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "test_command_line.moc"
