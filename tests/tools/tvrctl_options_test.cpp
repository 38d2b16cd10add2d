#include <QProcess>
#include <QTest>

#include "tools/tvrctl/didyoumean.h"
#include "tools/tvrctl/options.h"

namespace {

// What the installed bash completion offers for the words of a command line, the last one
// being completed.
QStringList Completions(const QStringList& words) {
    QProcess bash;
    bash.start("bash", QStringList{"-c",
                                   "source \"$0\"; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); "
                                   "_tvrctl; printf '%s\\n' \"${COMPREPLY[@]}\"",
                                   COMPLETION_SCRIPT, "tvrctl"} +
                           words);
    if (!bash.waitForFinished(10000) || bash.exitCode() != 0) return {"(bash failed)"};
    QStringList offered = QString::fromUtf8(bash.readAllStandardOutput()).split(u'\n');
    offered.removeAll(QString());
    offered.sort();
    return offered;
}

QStringList Sorted(QStringList list) {
    list.sort();
    return list;
}

}  // namespace

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

    // Each short option stands for its long one, its value the next word or joined to it.
    void shortOptionsAreTheLongOnes() {
        const CtlArgs write = ParseCtlArgs({"write", "-p", "/dev/ttyUSB0", "-pCOM2", "-c", "5",
                                            "-r100KBPS", "-s", "38400-O", "-i", "0042", "-t3"});
        QVERIFY2(write.options, qPrintable(write.output));
        QCOMPARE(write.options->ports, (QStringList{"/dev/ttyUSB0", "COM2"}));
        QCOMPARE(write.options->changes, (RadioProfile{4, 7, 6, 1, QStringLiteral("0042")}));
        QCOMPARE(write.options->timeoutSeconds, 3);
        const CtlArgs apply = ParseCtlArgs({"apply", "site.json", "-a", "-f", "-o", "Li Wei"});
        QVERIFY2(apply.options, qPrintable(apply.output));
        QVERIFY(apply.options->all && apply.options->force);
        QCOMPARE(apply.options->operatorName, QStringLiteral("Li Wei"));
        const CtlArgs linktest = ParseCtlArgs({"linktest", "-p", "a", "-e", "b", "-n", "7", "-j"});
        QVERIFY2(linktest.options, qPrintable(linktest.output));
        QCOMPARE(linktest.options->echoPort, QStringLiteral("b"));
        QCOMPARE(linktest.options->frames, 7);
        QVERIFY(linktest.options->json);
        QCOMPARE(ParseCtlArgs({"-V"}).output, QStringLiteral("tvrctl " TVR_VERSION "\n"));
    }

    void editDistanceCountsEdits_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("edits");
        QTest::newRow("same") << "write"
                              << "write" << 0;
        QTest::newRow("swapped neighbours") << "wrtie"
                                            << "write" << 1;
        QTest::newRow("letter missing") << "lnktest"
                                        << "linktest" << 1;
        QTest::newRow("letter added") << "readd"
                                      << "read" << 1;
        QTest::newRow("two changed") << "sane"
                                     << "scan" << 2;
        QTest::newRow("from nothing") << ""
                                      << "scan" << 4;
        QTest::newRow("all different") << "abc"
                                       << "xyz" << 3;
    }
    void editDistanceCountsEdits() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, edits);
        QCOMPARE(EditDistance(from, to), edits);
        QCOMPARE(EditDistance(to, from), edits);
    }

    // Only a near name that no other is as near to is suggested.
    void didYouMeanSuggestsOnlyANearName() {
        QCOMPARE(DidYouMean("wrtie", CommandNames()), QStringLiteral("write"));
        QCOMPARE(DidYouMean("--jsno", OptionsOf(CtlCommand::Scan)), QStringLiteral("--json"));
        QCOMPARE(DidYouMean("flash", CommandNames()), QString());
        // "save" and "scan" are each two edits from "sa".
        QCOMPARE(DidYouMean("sa", CommandNames()), QString());
    }

    // The completion offers every command, and every option each command takes.
    void completionOffersWhatTheParserTakes() {
        QCOMPARE(Completions({""}), Sorted(CommandNames() << "--help"
                                                          << "--version"));
        for (const QString& command : CommandNames()) {
            const CtlCommand which = static_cast<CtlCommand>(CommandNames().indexOf(command));
            QCOMPARE(Completions({command, "--"}), Sorted(OptionsOf(which)));
        }
        QCOMPARE(Completions({"write", "--serial", "1152"}),
                 (QStringList{"115200-even", "115200-none", "115200-odd"}));
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
        QTest::newRow("unknown command")
            << QStringList{"flash"} << "unknown command 'flash'\nTry 'tvrctl --help'.";
        QTest::newRow("mistyped command")
            << QStringList{"wrtie", "-p", "x"} << "unknown command 'wrtie'; did you mean 'write'?";
        QTest::newRow("mistyped option") << QStringList{"read", "-p", "x", "--jsno"}
                                         << "'read' takes no option --jsno; did you mean --json?";
        QTest::newRow("unknown short option")
            << QStringList{"read", "-p", "x", "-x"} << "'read' takes no option -x\n";
        QTest::newRow("short flag with value")
            << QStringList{"scan", "-aj"} << "option --all takes no value";
        QTest::newRow("read without port") << QStringList{"read"} << "'read' needs --port DEVICE";
        QTest::newRow("option of another command")
            << QStringList{"read", "--port", "x", "--channel", "3"}
            << "'read' takes no option --channel";
        QTest::newRow("missing value") << QStringList{"read", "--port"} << "--port needs a value";
        QTest::newRow("flag with value")
            << QStringList{"read", "--port", "x", "--json=yes"} << "--json takes no value";
        // A bad radio value names the option and the form it takes, not the profile's key.
        QTest::newRow("channel 13") << QStringList{"write", "--port", "x", "--channel", "13"}
                                    << "bad value '13' for --channel: a channel from 1 to 12\n";
        QTest::newRow("channel word") << QStringList{"write", "--port", "x", "-c", "five"}
                                      << "bad value 'five' for --channel: a channel from 1";
        QTest::newRow("air rate") << QStringList{"write", "--port", "x", "--air-rate", "9601"}
                                  << "bad value '9601' for --air-rate: one of 1200, 2400, 4800, "
                                     "9600, 19200, 38400, 76800, 100KBPS, 120KBPS, 56000\n";
        QTest::newRow("serial without parity")
            << QStringList{"write", "--port", "x", "--serial", "38400"}
            << "bad value '38400' for --serial: RATE-PARITY, e.g. 38400-none: RATE one of 600, "
               "1200,";
        QTest::newRow("serial rate") << QStringList{"write", "--port", "x", "--serial", "14400-N"}
                                     << "bad value '14400-N' for --serial: RATE-PARITY";
        QTest::newRow("parity") << QStringList{"write", "--port", "x", "-s", "9600-mark"}
                                << "for --serial: RATE-PARITY, e.g. 38400-none";
        QTest::newRow("id") << QStringList{"write", "--port", "x", "--id", "12345"}
                            << "bad value '12345' for --id: four digits, e.g. 0042\n";
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
        QTest::newRow("history result") << QStringList{"history", "--result", "pas"}
                                        << "bad value 'pas' for --result: pass or fail; did you "
                                           "mean 'pass'?";
        QTest::newRow("history month 13") << QStringList{"history", "--since", "2026-13-01"}
                                          << "for --since: a UTC date, YYYY-MM-DD";
        QTest::newRow("history hour 25") << QStringList{"history", "--since", "2026-03-01T25:00"}
                                         << "bad value '2026-03-01T25:00' for --since";
        QTest::newRow("recorded apply with a report")
            << QStringList{"apply", "f.json", "--all", "--db", "r.sqlite", "--report", "r.csv"}
            << "--report is for a plain apply";
        QTest::newRow("apply ids backwards")
            << QStringList{"apply", "f.json", "--all", "--ids", "0199-0100"}
            << "bad value '0199-0100' for --ids: FIRST-LAST";
        QTest::newRow("apply frames without a link test")
            << QStringList{"apply", "f.json", "--all", "--frames", "5"}
            << "--frames and --pass of 'apply' need --link-test PORT";
        QTest::newRow("apply reference among the ports")
            << QStringList{"apply", "f.json", "-p", "a", "--link-test", "a"}
            << "port 'a' is given twice";
        QTest::newRow("history both forms")
            << QStringList{"history", "--json", "--csv"} << "--json or --csv, not both";
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
