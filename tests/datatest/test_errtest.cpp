#include <QtTest>

#include "datatest/errtest.h"

Q_DECLARE_METATYPE(ReplyVerdict)

namespace {

// Counters as a tuple in the order Sent, Matched, SameLen, NoReply, Longer, Shorter.
QList<int> Counts(const ErrTestCounters& c) {
    return {c.ErrTestSent,    c.ErrTestMatched, c.ErrTestSameLen,
            c.ErrTestNoReply, c.ErrTestLonger,  c.ErrTestShorter};
}

}  // namespace

class TestErrTest : public QObject {
    Q_OBJECT
  private slots:
    void classifiesOneReply_data();
    void classifiesOneReply();
    void countsSilenceFromTheThirdSend();
    void writesTheRate_data();
    void writesTheRate();
    void hasNoRateBeforeTheFirstEvaluatedSend();
};

void TestErrTest::classifiesOneReply_data() {
    QTest::addColumn<QByteArray>("transmitted");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("sentBefore");
    QTest::addColumn<ReplyVerdict>("verdict");
    QTest::addColumn<QList<int>>("counts");
    const QByteArray t = "HELLO";
    QTest::newRow("match") << t << t << 4 << ReplyVerdict::Matched << QList<int>{4, 1, 0, 0, 0, 0};
    QTest::newRow("match with zero byte") << QByteArray("A\0B", 3) << QByteArray("A\0B", 3) << 4
                                          << ReplyVerdict::Matched << QList<int>{4, 1, 0, 0, 0, 0};
    QTest::newRow("one byte changed") << t << QByteArray("HELLP") << 4 << ReplyVerdict::SameLength
                                      << QList<int>{4, 0, 1, 0, 0, 0};
    QTest::newRow("zero byte changed") << QByteArray("A\0B", 3) << QByteArray("A\0C", 3) << 4
                                       << ReplyVerdict::SameLength << QList<int>{4, 0, 1, 0, 0, 0};
    QTest::newRow("one byte long")
        << t << QByteArray("HELLO!") << 4 << ReplyVerdict::Longer << QList<int>{4, 0, 0, 0, 1, 0};
    QTest::newRow("one byte short")
        << t << QByteArray("HELL") << 4 << ReplyVerdict::Shorter << QList<int>{4, 0, 0, 0, 0, 1};
    QTest::newRow("empty at third send")
        << t << QByteArray() << 2 << ReplyVerdict::NoReply << QList<int>{2, 0, 0, 1, 0, 0};
    QTest::newRow("empty at second send")
        << t << QByteArray() << 1 << ReplyVerdict::NoReplyNotCounted
        << QList<int>{1, 0, 0, 0, 0, 0};
    QTest::newRow("empty frame, empty reply")
        << QByteArray() << QByteArray() << 0 << ReplyVerdict::Matched
        << QList<int>{0, 1, 0, 0, 0, 0};
    QTest::newRow("differs only in case")
        << t << QByteArray("hello") << 4 << ReplyVerdict::SameLength
        << QList<int>{4, 0, 1, 0, 0, 0};
    QTest::newRow("chinese text one byte short")
        << QByteArray("\xE4\xB8\xAD\xE6\x96\x87") << QByteArray("\xE4\xB8\xAD\xE6\x96") << 4
        << ReplyVerdict::Shorter << QList<int>{4, 0, 0, 0, 0, 1};
}

void TestErrTest::classifiesOneReply() {
    QFETCH(QByteArray, transmitted);
    QFETCH(QByteArray, received);
    QFETCH(int, sentBefore);
    QFETCH(ReplyVerdict, verdict);
    QFETCH(QList<int>, counts);
    ErrTestCounters counters;
    counters.ErrTestSent = sentBefore;
    QCOMPARE(CountReply(counters, transmitted, received), verdict);
    QCOMPARE(Counts(counters), counts);
}

void TestErrTest::countsSilenceFromTheThirdSend() {
    // The statistics step of each periodic send, with nothing ever coming back: NoReply after
    // sends 1 to 4 reads 0, 0, 1, 2.
    ErrTestCounters counters;
    QList<int> noReplyAfterSend;
    for (int send = 1; send <= 4; ++send) {
        CountReply(counters, "PING", {});
        ++counters.ErrTestSent;
        noReplyAfterSend << counters.ErrTestNoReply;
    }
    QCOMPARE(noReplyAfterSend, (QList<int>{0, 0, 1, 2}));
}

void TestErrTest::writesTheRate_data() {
    QTest::addColumn<int>("matched");
    QTest::addColumn<int>("sent");
    QTest::addColumn<QString>("text");
    QTest::newRow("97.5") << 39 << 40 << "97.5000";
    QTest::newRow("all") << 7 << 7 << "100.0000";
    QTest::newRow("none") << 0 << 3 << "0.0000";
    QTest::newRow("a third") << 1 << 3 << "33.3333";
    QTest::newRow("two thirds rounds up") << 2 << 3 << "66.6667";
    QTest::newRow("exact half rounds away") << 1 << 128 << "0.7813";
    QTest::newRow("more matches than sends") << 2 << 1 << "200.0000";
    QTest::newRow("long test does not overflow") << 30000000 << 30000000 << "100.0000";
    QTest::newRow("single precision") << 1 << 7 << "14.2857";
}

void TestErrTest::writesTheRate() {
    QFETCH(int, matched);
    QFETCH(int, sent);
    QFETCH(QString, text);
    ErrTestCounters counters;
    counters.ErrTestMatched = matched;
    counters.ErrTestSent = sent;
    QCOMPARE(SuccessRateText(counters), std::optional<QString>(text));
}

void TestErrTest::hasNoRateBeforeTheFirstEvaluatedSend() {
    ErrTestCounters counters;
    counters.ErrTestMatched = 1;
    QCOMPARE(SuccessRateText(counters), std::nullopt);
}

QTEST_APPLESS_MAIN(TestErrTest)
#include "test_errtest.moc"
