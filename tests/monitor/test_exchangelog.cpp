#include <QTest>

#include "core/language.h"
#include "factory/testframes.h"
#include "monitor/exchangelog.h"
#include "radio/frame.h"
#include "tests/support/bytes.h"

namespace {

QByteArray Frame(std::initializer_list<uint8_t> bytes) {
    return QByteArray(reinterpret_cast<const char*>(std::data(bytes)),
                      static_cast<qsizetype>(bytes.size()));
}

// A frame with the given code and data, its checksum right.
QByteArray MakeFrame(uint8_t code, QByteArray data) {
    QByteArray frame = Frame({0x55, 0xAA, uint8_t(2 + data.size()), code}) + data + "..";
    SetChecksum(reinterpret_cast<uint8_t*>(frame.data()));
    return frame;
}

QString Cell(const ExchangeLog& log, size_t row, int column) {
    const ExchangeRow* previous = row > 0 ? &log.rows()[row - 1] : nullptr;
    return ExchangeCellText(log.rows()[row], previous, column);
}

// "TX read model [55 AA ...]" for every row: direction, command and bytes.
QStringList Summary(const ExchangeLog& log) {
    QStringList rows;
    for (size_t i = 0; i < log.rows().size(); ++i) {
        rows << QStringLiteral("%1 %2 [%3]")
                    .arg(Cell(log, i, DirectionColumn), Cell(log, i, CommandColumn),
                         Cell(log, i, BytesColumn));
    }
    return rows;
}

}  // namespace

class ExchangeLogTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { LanguageFlag = 1; }

    // Every frame the program sends, from the tables it sends them from, and the replies the
    // radio gives, are named; the checksum verdict comes with them.
    void namesEveryCommand_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<QString>("name");
        const char* reads[] = {"read model", "read air rate", "read channel", "read ID"};
        for (int step = 0; step < ReadStepCount; ++step) {
            QTest::addRow("%s", reads[step])
                << Raw(ReadCmdTable[step], ReadRequestSize) << true << QString(reads[step]);
            QTest::addRow("%s reply", reads[step]) << MakeFrame(ReadCmdTable[step][3], "\x01")
                                                   << false << QString(reads[step]) + " reply";
        }
        const char* writes[] = {"write air rate", "write ID", "write channel", "write serial rate"};
        for (int step = 0; step < WriteStepCount; ++step) {
            const uint8_t* shape = WriteCmdTable[step];
            QTest::addRow("%s", writes[step])
                << MakeFrame(shape[3], QByteArray(shape[2] - 2, '\x05')) << true
                << QString(writes[step]);
        }
        QTest::newRow("write acknowledgement")
            << Raw(WriteAck, sizeof WriteAck) << false << QString("write acknowledgement");
        const char* tests[] = {"transmit test",       "end test",        "sensitivity frequency",
                               "read field strength", "set power level", "read power level",
                               "read register",       "write register"};
        for (int command = 0; command < TestCommandCount; ++command) {
            TestFrame frame = TestFrameTable[command];
            SetChecksum(frame.data());
            QTest::addRow("%s", tests[command])
                << Raw(frame.data(), FrameSize(frame[2])) << true << QString(tests[command]);
        }
        QTest::newRow("unknown code")
            << MakeFrame(0x42, QByteArray(1, '\0')) << true << QString("unknown command 0x42");
    }
    void namesEveryCommand() {
        QFETCH(QByteArray, frame);
        QFETCH(bool, sent);
        QFETCH(QString, name);
        ExchangeLog log;
        log.linkSettings("9600-N-1", "COM1 (/dev/ttyUSB0)", true, 1000);
        Pass(log, sent ? LinkTraffic::Sent : LinkTraffic::Received, frame, 2000);
        QCOMPARE(log.rows().size(), size_t(2));
        QCOMPARE(Cell(log, 1, CommandColumn), name);
        QCOMPARE(Cell(log, 1, DirectionColumn), QString(sent ? "TX" : "RX"));
        QCOMPARE(Cell(log, 1, BytesColumn), QString(frame.toHex(' ').toUpper()));
        QCOMPARE(Cell(log, 1, ChecksumColumn), QString("ok"));
        QCOMPARE(Cell(log, 1, SettingsColumn), QString("9600-N-1"));
        QCOMPARE(Cell(log, 1, DeltaColumn), QString("+1.0"));
    }

    // A modem line's change is a settings row of its own: it ends the data gathering before
    // it, and the line settings in force stay those of the rows around it.
    void modemLineChangeIsASettingsRowBetweenTheData() {
        ExchangeLog log;
        log.linkSettings("19200-E-1", "COM1 (/dev/ttyUSB0)", false, 0);
        Pass(log, LinkTraffic::Received, "ab", 100);
        log.linkModemLine("CTS", true, "COM1 (/dev/ttyUSB0)", 200);
        log.linkModemLine("DTR", false, "COM1 (/dev/ttyUSB0)", 300);
        Pass(log, LinkTraffic::Received, "cd", 400);
        log.settle(400 + ExchangeLog::GatherUs);
        QCOMPARE(Summary(log),
                 QStringList({" line settings on COM1 (/dev/ttyUSB0) []", "RX data [61 62]",
                              " modem line CTS=1 on COM1 (/dev/ttyUSB0) []",
                              " modem line DTR=0 on COM1 (/dev/ttyUSB0) []", "RX data [63 64]"}));
        for (size_t row = 0; row < log.rows().size(); ++row)
            QCOMPARE(Cell(log, row, SettingsColumn), QString("19200-E-1"));
        QCOMPARE(log.rows()[2].kind, ExchangeRowKind::Settings);
        LanguageFlag = 0;
        QCOMPARE(Cell(log, 2, CommandColumn), QString("线路信号 CTS=1：COM1 (/dev/ttyUSB0)"));
        LanguageFlag = 1;
    }

    void badChecksumIsShownWithBothSums() {
        ExchangeLog log;
        Pass(log, LinkTraffic::Received, Frame({0x55, 0xAA, 0x03, 0x08, 0x05, 0x00, 0x11}), 0);
        QCOMPARE(Cell(log, 0, CommandColumn), QString("read channel reply"));
        QCOMPARE(Cell(log, 0, ChecksumColumn), QString("bad: carries 0011, sum is 0010"));
        const DecodedFrame decoded = DecodeFrame(log.rows()[0].bytes);
        QCOMPARE(decoded.verdict, ChecksumVerdict::Bad);
    }

    // The byte stream is cut into frames wherever they lie; what is no frame is data, and the
    // start of a frame waits for its rest over later reads.
    void cutsTheStreamIntoFrames() {
        ExchangeLog log;
        log.linkSettings("9600-N-1", "COM2 (/dev/ttyS0)", true, 0);
        Pass(log, LinkTraffic::Sent, Raw(ReadCmdTable[0], ReadRequestSize), 100);
        const QByteArray reply = MakeFrame(0x10, Frame({0x03, 0x12}));
        // Noise first, then the reply in three pieces, a false start (55 not followed by AA)
        // among the noise.
        Pass(log, LinkTraffic::Received, Frame({0x01, 0x55, 0x02}) + reply.left(2), 200);
        Pass(log, LinkTraffic::Received, reply.mid(2, 3), 300);
        Pass(log, LinkTraffic::Received, reply.mid(5) + "ab", 400);
        log.settle(400 + ExchangeLog::GatherUs);
        // A half frame whose rest does not come is shown once it has waited long enough.
        Pass(log, LinkTraffic::Received, Frame({0x55, 0xAA, 0x05, 0x10}), 2'000'000);
        log.settle(2'000'000 + ExchangeLog::GatherUs - 1);
        QCOMPARE(log.rows().size(), size_t(5));
        log.settle(2'000'000 + ExchangeLog::GatherUs);
        // A purge shows what it threw away.
        Pass(log, LinkTraffic::Purged, "xyz", 4'000'000);
        QCOMPARE(Summary(log),
                 QStringList({" search attempt on COM2 (/dev/ttyS0) []",
                              "TX read model [55 AA 03 10 00 00 13]", "RX data [01 55 02]",
                              "RX read model reply [" + QString(reply.toHex(' ').toUpper()) + "]",
                              "RX data [61 62]", "RX incomplete frame [55 AA 05 10]",
                              "RX purge: 3 received bytes thrown away [78 79 7A]"}));
        QCOMPARE(log.rows()[3].timeUs, 200);
    }

    // A send ends a reply begun before: its start is shown as incomplete at once, and the
    // next reply is cut afresh, not added to it.
    void aSendEndsAReplyBegunBefore() {
        ExchangeLog log;
        const QByteArray probe = Raw(ReadCmdTable[0], ReadRequestSize);
        const QByteArray reply = MakeFrame(0x10, Frame({0x03, 0x12}));
        Pass(log, LinkTraffic::Received, reply.left(4), 100);
        Pass(log, LinkTraffic::Sent, probe, 200);
        Pass(log, LinkTraffic::Received, reply, 300);
        QCOMPARE(Summary(log), QStringList({"RX incomplete frame [55 AA 04 10]",
                                            "TX read model [55 AA 03 10 00 00 13]",
                                            "RX read model reply [55 AA 04 10 03 12 00 29]"}));
    }

    // Data gather into one row a second long, showing the first bytes and the count.
    void dataGatherForASecond() {
        ExchangeLog log;
        const QByteArray chunk(20, 'd');
        for (int i = 0; i < 10; ++i) Pass(log, LinkTraffic::Received, chunk, i * 100'000);
        Pass(log, LinkTraffic::Received, chunk, 1'000'000);
        QCOMPARE(log.rows().size(), size_t(1));
        QCOMPARE(log.rows()[0].byteCount, 200u);
        QCOMPARE(Cell(log, 0, BytesColumn),
                 QString(QByteArray(ExchangeLog::ShownBytes, 'd').toHex(' ').toUpper()) +
                     " … (200 bytes)");
        // Sending ends the row at once.
        Pass(log, LinkTraffic::Sent, "go", 1'100'000);
        QCOMPARE(log.rows().size(), size_t(2));
        QCOMPARE(log.rows()[1].byteCount, 20u);
    }

    void keepsAtMostMaxRowsAndCountsThoseThatLeft() {
        ExchangeLog log;
        const QByteArray probe = Raw(ReadCmdTable[0], ReadRequestSize);
        const size_t extra = 25;
        for (size_t i = 0; i < ExchangeLog::MaxRows + extra; ++i)
            Pass(log, LinkTraffic::Sent, probe, int64_t(i));
        QCOMPARE(log.rows().size(), ExchangeLog::MaxRows);
        QCOMPARE(log.rowsLeft(), uint64_t(extra));
        QCOMPARE(log.firstRowNumber(), uint64_t(extra));
        QCOMPARE(log.rows().front().timeUs, int64_t(extra));
        log.clear();
        QVERIFY(log.rows().empty());
        QCOMPARE(log.rowsLeft(), uint64_t(0));
        QCOMPARE(log.firstRowNumber(), uint64_t(ExchangeLog::MaxRows + extra));
    }

    // Rows kept elsewhere (while the monitor was closed) join behind the log's own, counted
    // with those that left there; frames begun on either side end as incomplete, and the
    // setting in force comes along.
    void takesTheRowsOfAnotherLog() {
        const QByteArray probe = Raw(ReadCmdTable[0], ReadRequestSize);
        ExchangeLog log;
        Pass(log, LinkTraffic::Sent, probe, 1);
        Pass(log, LinkTraffic::Received, probe.left(3), 2);
        ExchangeLog kept(3);
        kept.linkSettings("9600-E-1", "COM1", true, 3);
        for (int i = 0; i < 3; ++i) Pass(kept, LinkTraffic::Sent, probe, 4 + i);
        Pass(kept, LinkTraffic::Received, probe.left(2), 7);
        log.takeRowsOf(kept);
        const QString probeHex = "[55 AA 03 10 00 00 13]";
        // The kept log's own limit let its setting row and first frame go.
        QCOMPARE(Summary(log),
                 QStringList({"TX read model " + probeHex, "RX incomplete frame [55 AA 03]",
                              "TX read model " + probeHex, "TX read model " + probeHex,
                              "RX incomplete frame [55 AA]"}));
        QCOMPARE(log.rows()[2].timeUs, 5);
        QCOMPARE(log.rowsLeft(), uint64_t(2));
        QVERIFY(kept.rows().empty());
        QCOMPARE(kept.rowsLeft(), uint64_t(0));
        Pass(log, LinkTraffic::Sent, probe, 8);
        QCOMPARE(Cell(log, 5, SettingsColumn), QString("9600-E-1"));
        // What the other log sees next is its own again.
        Pass(kept, LinkTraffic::Sent, probe, 9);
        QCOMPARE(Summary(kept), QStringList({"TX read model " + probeHex}));
    }
};

QTEST_GUILESS_MAIN(ExchangeLogTest)
#include "test_exchangelog.moc"
