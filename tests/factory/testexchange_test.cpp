#include <QTest>

#include "factory/testexchange.h"
#include "serial/portnames.h"
#include "tests/support/fakeserialdevice.h"

// How long a factory exchange waits for its reply: the factor's time on a local port, and the
// round trip on top on a network port.
class TestExchangeTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { SetPinnedPorts({QStringLiteral("net")}); }
    void cleanupTestCase() { SetPinnedPorts({}); }

    void replyWaitAddsTheRoundTrip_data() {
        QTest::addColumn<int>("roundTripMs");  // below 0: a local port
        QTest::addColumn<int>("waitMs");
        QTest::newRow("local") << -1 << ReplyTimeoutMs(3);
        QTest::newRow("network, under a millisecond") << 0 << ReplyTimeoutMs(3);
        QTest::newRow("network, 45 ms") << 45 << ReplyTimeoutMs(3) + 45;
    }
    void replyWaitAddsTheRoundTrip() {
        QFETCH(int, roundTripMs);
        QFETCH(int, waitMs);
        auto journal = std::make_shared<DeviceJournal>();
        if (roundTripMs >= 0) journal->roundTripMs = roundTripMs;
        SerialLink link(FakeOpener(journal));
        QVERIFY(link.OpenPortScan());
        QCOMPARE(int(link.WaitFactor), 3);
        int64_t now = 1000;
        TestExchanger exchanger(link, [&now] { return now; });
        std::optional<TestReply> reply;
        QVERIFY(exchanger.startSingle(TestFrameTable[ReadRegister],
                                      [&reply](const TestReply& r) { reply = r; }));
        now += waitMs - 1;
        exchanger.poll();
        QVERIFY(!reply);
        now += 1;
        exchanger.poll();
        QVERIFY(reply);
        QCOMPARE(reply->outcome, TestReply::Outcome::Silent);
    }
};

QTEST_GUILESS_MAIN(TestExchangeTest)
#include "testexchange_test.moc"
