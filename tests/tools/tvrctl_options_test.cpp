#include <QTest>

#include "tools/tvrctl/options.h"

class TvrctlOptionsTest : public QObject {
    Q_OBJECT
  private slots:
    void takesWriteValuesAsProfileValues() {
        const CtlArgs args = ParseCtlArgs({"write", "--port", "/dev/ttyUSB0", "--port=COM2",
                                           "--channel", "5", "--air-rate=100KBPS", "--serial",
                                           "38400-O", "--id", "0042", "--no-verify"});
        QVERIFY2(args.options, qPrintable(args.output));
        QCOMPARE(args.options->command, CtlCommand::Write);
        QCOMPARE(args.options->ports, (QStringList{"/dev/ttyUSB0", "COM2"}));
        QCOMPARE(args.options->changes, (RadioProfile{4, 7, 6, 1, QStringLiteral("0042")}));
        QVERIFY(!args.options->verify);
    }

    void takesApply() {
        const CtlArgs args =
            ParseCtlArgs({"apply", "site.json", "--all", "--report", "out.csv", "--timeout", "9"});
        QVERIFY2(args.options, qPrintable(args.output));
        QCOMPARE(args.options->file, QStringLiteral("site.json"));
        QVERIFY(args.options->all);
        QCOMPARE(args.options->reportPath, QStringLiteral("out.csv"));
        QCOMPARE(args.options->timeoutSeconds, 9);
        QCOMPARE(ParseCtlArgs({"scan", "--timeout", "86400"}).options->timeoutSeconds, 86400);
        QCOMPARE(args.options->changes, RadioProfile{});
    }

    void helpAndVersionGoToStandardOutput() {
        for (const char* option : {"--help", "--version"}) {
            const CtlArgs args = ParseCtlArgs({"read", option});
            QVERIFY(!args.options);
            QCOMPARE(args.exitStatus, CtlExit::Ok);
            QVERIFY(!args.output.isEmpty());
        }
    }

    // Every mistake is a usage error (status 1) that says what is wrong.
    void refusesMistakes_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("nothing") << QStringList{} << "no command given";
        QTest::newRow("unknown command") << QStringList{"flash"} << "unknown command 'flash'";
        QTest::newRow("read without port") << QStringList{"read"} << "'read' needs --port DEVICE";
        QTest::newRow("option of another command")
            << QStringList{"read", "--port", "x", "--channel", "3"}
            << "'read' takes no option --channel";
        QTest::newRow("missing value") << QStringList{"read", "--port"} << "--port needs a value";
        QTest::newRow("flag with value")
            << QStringList{"read", "--port", "x", "--json=yes"} << "--json takes no value";
        QTest::newRow("channel 13") << QStringList{"write", "--port", "x", "--channel", "13"}
                                    << "\"channel\" must be a whole number from 1 to 12, not 13";
        QTest::newRow("channel word")
            << QStringList{"write", "--port", "x", "--channel", "five"} << "for --channel";
        QTest::newRow("air rate") << QStringList{"write", "--port", "x", "--air-rate", "100000"}
                                  << "\"air_rate\" must be one of";
        QTest::newRow("serial without parity")
            << QStringList{"write", "--port", "x", "--serial", "9600"}
            << "bad value '9600' for --serial";
        QTest::newRow("serial rate") << QStringList{"write", "--port", "x", "--serial", "14400-N"}
                                     << "\"serial_rate\" must be one of 600";
        QTest::newRow("parity") << QStringList{"write", "--port", "x", "--serial", "9600-mark"}
                                << "\"parity\" must be one of";
        QTest::newRow("id") << QStringList{"write", "--port", "x", "--id", "12345"}
                            << "\"id\" must be four digits";
        QTest::newRow("save without file")
            << QStringList{"save", "--port", "x"} << "'save' needs a FILE";
        QTest::newRow("save of two ports")
            << QStringList{"save", "--port", "x", "--port", "y", "f.json"}
            << "'save' takes one --port";
        QTest::newRow("apply without ports")
            << QStringList{"apply", "f.json"} << "either --port DEVICE... or --all";
        QTest::newRow("apply with both")
            << QStringList{"apply", "f.json", "--all", "--port", "x"} << "either --port";
        QTest::newRow("report of another kind")
            << QStringList{"apply", "f.json", "--all", "--report", "r.txt"} << ".csv or .json";
        QTest::newRow("stray word")
            << QStringList{"read", "--port", "x", "extra"} << "unexpected argument 'extra'";
        QTest::newRow("time-out 0") << QStringList{"scan", "--timeout", "0"}
                                    << "bad value '0' for --timeout: seconds from 1 to 86400";
        // Past a day, and past what a timer's milliseconds can hold.
        QTest::newRow("time-out 86401")
            << QStringList{"scan", "--timeout", "86401"} << "seconds from 1 to 86400";
        QTest::newRow("time-out 4294968")
            << QStringList{"scan", "--timeout", "4294968"} << "seconds from 1 to 86400";
    }
    void refusesMistakes() {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        const CtlArgs parsed = ParseCtlArgs(args);
        QVERIFY(!parsed.options);
        QCOMPARE(parsed.exitStatus, CtlExit::Usage);
        QVERIFY2(parsed.output.contains(error), qPrintable(parsed.output));
    }
};

QTEST_GUILESS_MAIN(TvrctlOptionsTest)
#include "tvrctl_options_test.moc"
