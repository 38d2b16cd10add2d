#include <QTest>

#include "app/startup.h"

class StartupOptionsTest : public QObject {
    Q_OBJECT

    static StartupOptions parse(QStringList args) {
        args.prepend(QStringLiteral("tvrsetup"));
        return ParseCommandLine(args);
    }

  private slots:
    void languageChoosesTheFlag_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("flag");
        // Without --lang the remembered language applies.
        QTest::newRow("not given") << QStringList{} << -1;
        QTest::newRow("en") << QStringList{"--lang", "en"} << 1;
        QTest::newRow("zh") << QStringList{"--lang", "zh"} << 0;
        QTest::newRow("zh with =") << QStringList{"--lang=zh"} << 0;
    }
    void languageChoosesTheFlag() {
        QFETCH(QStringList, args);
        QFETCH(int, flag);
        const StartupOptions options = parse(args);
        QVERIFY(!options.exitStatus);
        QCOMPARE(options.languageFlag ? int(*options.languageFlag) : -1, flag);
    }

    void portsKeepTheirOrder() {
        const StartupOptions options = parse({"--port", "/tmp/ttyRADIO", "--port", "sim"});
        QCOMPARE(options.ports, (QStringList{"/tmp/ttyRADIO", "sim"}));
        QVERIFY(!options.resetSettings);
        QVERIFY(parse({"--reset-settings"}).resetSettings);
    }

    void printAndExit_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--lang";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "tvrsetup 1.02";
        QTest::newRow("unknown option") << QStringList{"--colour"} << 2 << "colour";
        QTest::newRow("bad language") << QStringList{"--lang", "fr"} << 2 << "fr";
        QTest::newRow("missing value") << QStringList{"--port"} << 2 << "port";
        // An empty slot would send a Read to search the other ports.
        QTest::newRow("empty device") << QStringList{"--port", "/dev/ttyUSB0", "--port", ""} << 2
                                      << "--port needs a device name";
        QTest::newRow("stray argument") << QStringList{"COM1"} << 2 << "COM1";
    }
    void printAndExit() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, mentions);
        const StartupOptions options = parse(args);
        QVERIFY(options.exitStatus.has_value());
        QCOMPARE(*options.exitStatus, status);
        QVERIFY2(options.output.contains(mentions), qPrintable(options.output));
    }
};

QTEST_APPLESS_MAIN(StartupOptionsTest)
#include "test_startup_options.moc"
