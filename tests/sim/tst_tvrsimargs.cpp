#include <QTest>

#include "tools/tvrsim/options.h"

namespace {

std::vector<std::string> Split(const QString& line) {
    std::vector<std::string> args;
    for (const QString& word : line.split(' ', Qt::SkipEmptyParts))
        args.push_back(word.toStdString());
    return args;
}

}  // namespace

class TvrsimArgsTest : public QObject {
    Q_OBJECT
  private slots:
    void defaultsAreTheRadiosFactorySettings();
    void takesEveryOption();
    void takesFaults_data();
    void takesFaults();
    void takesIgnoredWrite_data();
    void takesIgnoredWrite();
    void refusesBadValues_data();
    void refusesBadValues();
    void versionIsTvrsimsOwn();
};

void TvrsimArgsTest::defaultsAreTheRadiosFactorySettings() {
    const SimToolArgs args = ParseSimToolArgs({});
    QVERIFY(args.options);
    const SimToolOptions& o = *args.options;
    QCOMPARE(o.radio.line.baudRate, 9600);
    QCOMPARE(o.radio.line.parity, ParityMode::None);
    QCOMPARE(o.radio.modelCode, uint8_t{3});
    QCOMPARE(o.radio.version, uint8_t{0x12});
    QVERIFY(o.link.empty() && o.pairLink.empty() && o.logPath.empty());
    QVERIFY(!o.air.echoStation);
    // Always: a pseudo-terminal cannot carry the difference.
    QVERIFY(!o.air.hostTellsNoneFromEven);
}

void TvrsimArgsTest::takesEveryOption() {
    const SimToolArgs args = ParseSimToolArgs(
        Split("--link /tmp/a --pair=/tmp/b --baud 115200 --parity e --channel 12 --air 9 "
              "--id 0815 --model 10 --firmware 2.3 --loss 0.25 --corrupt=0.5 --seed 42 "
              "--log /tmp/l"));
    QVERIFY2(args.options, args.error.c_str());
    const SimToolOptions& o = *args.options;
    QCOMPARE(o.link, std::string("/tmp/a"));
    QCOMPARE(o.pairLink, std::string("/tmp/b"));
    QCOMPARE(o.logPath, std::string("/tmp/l"));
    QCOMPARE(o.radio.line.baudRate, 115200);
    QCOMPARE(o.radio.line.parity, ParityMode::Even);
    QCOMPARE(o.radio.channel, uint8_t{12});
    QCOMPARE(o.radio.airRateCode, uint8_t{9});
    QCOMPARE(o.radio.identity[0], uint8_t{0x08});
    QCOMPARE(o.radio.identity[1], uint8_t{0x15});
    QCOMPARE(o.radio.modelCode, uint8_t{10});
    QCOMPARE(o.radio.version, uint8_t{0x23});
    QCOMPARE(o.air.lossProbability, 0.25);
    QCOMPARE(o.air.corruptProbability, 0.5);
    QCOMPARE(o.air.seed, 42u);

    QVERIFY(ParseSimToolArgs(Split("--echo")).options->air.echoStation);
    QVERIFY(ParseSimToolArgs(Split("--help")).help);
}

void TvrsimArgsTest::takesFaults_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<bool>("badsum");
    QTest::addColumn<int>("split");
    QTest::addColumn<int>("delay");
    QTest::addColumn<bool>("chatter");
    QTest::addColumn<int>("flood");
    QTest::addColumn<bool>("model17");
    QTest::addColumn<int>("vanish");  // -1: none
    QTest::newRow("silent") << "--fault silent" << true << false << 0 << 0 << false << 0 << false
                            << -1;
    QTest::newRow("badsum and split")
        << "--fault badsum --fault split" << false << true << 3 << 0 << false << 0 << false << -1;
    QTest::newRow("split=5, delay") << "--fault split=5 --fault=delay=250" << false << false << 5
                                    << 250 << false << 0 << false << -1;
    QTest::newRow("chatter, flood") << "--fault chatter --fault flood" << false << false << 0 << 0
                                    << true << 300 << false << -1;
    QTest::newRow("flood=N, model17") << "--fault flood=1000 --fault model17" << false << false << 0
                                      << 0 << false << 1000 << true << -1;
    QTest::newRow("vanish") << "--fault vanish" << false << false << 0 << 0 << false << 0 << false
                            << 2000;
    QTest::newRow("vanish=MS") << "--fault vanish=0" << false << false << 0 << 0 << false << 0
                               << false << 0;
}

void TvrsimArgsTest::takesFaults() {
    QFETCH(QString, line);
    const SimToolArgs args = ParseSimToolArgs(Split(line));
    QVERIFY2(args.options, args.error.c_str());
    const RadioFaults& f = args.options->faults;
    QTEST(f.silent, "silent");
    QTEST(f.wrongChecksum, "badsum");
    QTEST(f.splitPieces, "split");
    QTEST(f.replyDelayMs, "delay");
    QTEST(f.chatter, "chatter");
    QTEST(f.floodBytes, "flood");
    QTEST(f.modelCode17, "model17");
    QTEST(args.options->vanishAfterMs.value_or(-1), "vanish");
}

void TvrsimArgsTest::takesIgnoredWrite_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("code");
    QTest::newRow("air") << "air" << 0x03;
    QTest::newRow("id") << "id" << 0x09;
    QTest::newRow("channel") << "channel" << 0x07;
    QTest::newRow("serial") << "serial" << 0x0F;
}

void TvrsimArgsTest::takesIgnoredWrite() {
    QFETCH(QString, field);
    const SimToolArgs args = ParseSimToolArgs(Split("--fault ignore-write=" + field));
    QVERIFY2(args.options, args.error.c_str());
    QTEST(int(args.options->faults.ignoredWrite), "code");
}

void TvrsimArgsTest::refusesBadValues_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("error");
    QTest::newRow("rate") << "--baud 9601"
                          << "bad value '9601' for --baud";
    QTest::newRow("rate text") << "--baud fast"
                               << "bad value 'fast' for --baud";
    QTest::newRow("channel") << "--channel 256"
                             << "bad value '256' for --channel";
    QTest::newRow("negative") << "--model -1"
                              << "bad value '-1' for --model";
    QTest::newRow("identity length") << "--id 123"
                                     << "bad value '123' for --id";
    QTest::newRow("version without dot") << "--firmware 12"
                                         << "bad value '12' for --firmware";
    QTest::newRow("corrupt") << "--corrupt x"
                             << "bad value 'x' for --corrupt";
    QTest::newRow("seed") << "--seed 4294967296"
                          << "bad value '4294967296' for --seed";
    QTest::newRow("flag with value") << "--echo=1"
                                     << "option '--echo' takes no value";
    QTest::newRow("fault with value") << "--fault silent=1"
                                      << "fault 'silent' takes no value";
    QTest::newRow("split of one") << "--fault split=1"
                                  << "bad value in fault 'split=1'";
    QTest::newRow("ignored write of no field") << "--fault ignore-write=power"
                                               << "bad value in fault 'ignore-write=power'";
    QTest::newRow("ignored write without field") << "--fault ignore-write"
                                                 << "bad value in fault 'ignore-write'";
    QTest::newRow("same links") << "--link /tmp/a --pair /tmp/a"
                                << "--link and --pair must name different paths";
    QTest::newRow("stray word") << "radio"
                                << "unknown option 'radio'";
    QTest::newRow("firmware as --version")
        << "--version=2.3"
        << "option '--version' takes no value; --firmware X.Y sets the radio's";
}

void TvrsimArgsTest::refusesBadValues() {
    QFETCH(QString, line);
    QFETCH(QString, error);
    const SimToolArgs args = ParseSimToolArgs(Split(line));
    QVERIFY(!args.options);
    QCOMPARE(QString::fromStdString(args.error), error);
}

// --version asks for tvrsim's version and starts no radio, wherever it stands.
void TvrsimArgsTest::versionIsTvrsimsOwn() {
    const SimToolArgs args = ParseSimToolArgs(Split("--link /tmp/a --version --firmware 2.3"));
    QVERIFY(args.version);
    QVERIFY(!args.options);
    QVERIFY(args.error.empty());
}

QTEST_APPLESS_MAIN(TvrsimArgsTest)
#include "tst_tvrsimargs.moc"
