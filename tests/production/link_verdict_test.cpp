// The production link test's verdict: the share of frames back whole, and no damaged frame.

#include <QTest>

#include "production/linkcheck.h"

class LinkVerdictTest : public QObject {
    Q_OBJECT

  private slots:
    void passesOnlyWithTheShareWholeAndNothingDamaged_data() {
        QTest::addColumn<int>("matched");
        QTest::addColumn<int>("damaged");
        QTest::addColumn<int>("noReply");
        QTest::addColumn<bool>("passed");
        QTest::newRow("all whole") << 20 << 0 << 0 << true;
        QTest::newRow("one lost, at the mark") << 19 << 0 << 1 << true;
        QTest::newRow("two lost, below it") << 18 << 0 << 2 << false;
        QTest::newRow("one damaged, at the mark") << 19 << 1 << 0 << false;
    }
    void passesOnlyWithTheShareWholeAndNothingDamaged() {
        QFETCH(int, matched);
        QFETCH(int, damaged);
        QFETCH(int, noReply);
        QFETCH(bool, passed);
        ErrTestRow row;
        row.counts.ErrTestSent = 20;
        row.counts.ErrTestMatched = matched;
        row.counts.ErrTestSameLen = damaged;
        row.counts.ErrTestNoReply = noReply;
        const LinkFigures figures = FiguresOf(row, 95);
        QCOMPARE(figures.sent, 20);
        QCOMPARE(figures.damaged, damaged);
        QCOMPARE(LinkPassed(figures), passed);
    }

    void nothingSentIsNoPass() { QVERIFY(!LinkPassed(FiguresOf({}, 0))); }
};

QTEST_MAIN(LinkVerdictTest)
#include "link_verdict_test.moc"
