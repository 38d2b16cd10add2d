#include <QTest>

#include "app/reveal.h"

// Drives the reveal tick by tick, the way Timer1 and the two panel clicks do.
class RevealTest : public QObject {
    Q_OBJECT

    static void ticks(HiddenFeatureReveal& r, int n) {
        for (int i = 0; i < n; ++i) r.tick();
    }

  private slots:
    void armedClickRevealsWithinThreeTicks_data() {
        QTest::addColumn<int>("ticksBetween");
        QTest::addColumn<bool>("reveals");
        QTest::newRow("at once") << 0 << true;
        QTest::newRow("one tick") << 1 << true;
        QTest::newRow("three ticks") << 3 << true;
        QTest::newRow("four ticks disarm") << 4 << false;
        QTest::newRow("ten ticks") << 10 << false;
    }
    void armedClickRevealsWithinThreeTicks() {
        QFETCH(int, ticksBetween);
        QFETCH(bool, reveals);
        HiddenFeatureReveal r;
        ticks(r, 5);
        r.panel11Click();
        ticks(r, ticksBetween);
        QCOMPARE(r.panel10Click(), reveals);
    }

    void panel10AloneRevealsNothing() {
        HiddenFeatureReveal r;
        QVERIFY(!r.panel10Click());
        QVERIFY(!r.panel10Click());
        QVERIFY(!r.panel10Click());
    }

    void secondPanel11ClickDisarms() {
        HiddenFeatureReveal r;
        r.panel11Click();
        r.panel11Click();
        QVERIFY(!r.panel10Click());
    }

    void onlyOddPanel10ClicksCanReveal() {
        HiddenFeatureReveal r;
        QVERIFY(!r.panel10Click());  // first click, unarmed: toggle is now 1
        r.panel11Click();
        QVERIFY(!r.panel10Click());  // armed, but this click turns the toggle back to 0
        QVERIFY(r.panel10Click());   // the next one can reveal
    }

    void windowClosesOnTheEightySecondTick() {
        HiddenFeatureReveal r;
        for (int tick = 1; tick <= 81; ++tick)
            QVERIFY2(!r.tick(), qPrintable(QString::number(tick)));
        QCOMPARE(r.RevealWindowOpen, uint8_t{1});
        r.panel11Click();
        QVERIFY(r.panel10Click());  // still open after 81 ticks
        QVERIFY(r.tick());          // the 82nd tick closes it
        QCOMPARE(r.RevealWindowOpen, uint8_t{0});
        r.panel10Click();
        r.panel11Click();
        QVERIFY(!r.panel10Click());
    }

    void armAgeWrapsWithoutRearming() {
        HiddenFeatureReveal r;
        r.panel11Click();
        ticks(r, 256);  // the 8-bit age wraps to 0, yet the arm was cleared long ago
        QCOMPARE(r.ArmAgeTicks, uint8_t{0});
        QVERIFY(!r.panel10Click());
    }
};

QTEST_APPLESS_MAIN(RevealTest)
#include "test_reveal.moc"
