#include <QTest>

#include "monitor/chartmodel.h"

namespace {

// A clock the test moves by hand.
struct ManualClock {
    int64_t ms = 1'000'000;
    ChartClock clock() {
        return [this] { return ms; };
    }
};

QList<double> RxRates(const ThroughputHistory& history) {
    QList<double> rates;
    for (const RatePoint& point : history.points()) rates << point.rx;
    return rates;
}

ErrTestCounters Counters(int sent, int matched, int noReply = 0, int shorter = 0, int longer = 0,
                         int sameLen = 0) {
    ErrTestCounters c;
    c.ErrTestSent = sent;
    c.ErrTestMatched = matched;
    c.ErrTestNoReply = noReply;
    c.ErrTestShorter = shorter;
    c.ErrTestLonger = longer;
    c.ErrTestSameLen = sameLen;
    return c;
}

}  // namespace

class ChartModelTest : public QObject {
    Q_OBJECT
  private slots:
    // Samples at various moments: each second that ends gives one point holding what the
    // counter grew by in it, growth between two samples spread evenly over their time.
    void throughputOnePointPerSecond_data() {
        QTest::addColumn<QList<int>>("stepsMs");
        QTest::addColumn<QList<int>>("rxCounts");
        QTest::addColumn<QList<double>>("expected");
        QTest::newRow("four samples a second")
            << QList<int>{250, 250, 250, 250, 250, 250, 250, 250}
            << QList<int>{100, 200, 300, 400, 450, 500, 550, 600} << QList<double>{400, 200};
        QTest::newRow("a late sample is spread, not a spike")
            << QList<int>{1000, 3000} << QList<int>{1000, 4000}
            << QList<double>{1000, 1000, 1000, 1000};
        QTest::newRow("a sample across a second's end")
            << QList<int>{500, 1000, 500} << QList<int>{0, 1000, 1000} << QList<double>{500, 500};
        QTest::newRow("a reset counter grew by its new value")
            << QList<int>{1000, 1000, 1000} << QList<int>{5000, 10, 110}
            << QList<double>{5000, 10, 100};
        QTest::newRow("a clock step back is no time")
            << QList<int>{1000, -500, 1500} << QList<int>{100, 200, 300} << QList<double>{100, 200};
    }
    void throughputOnePointPerSecond() {
        QFETCH(QList<int>, stepsMs);
        QFETCH(QList<int>, rxCounts);
        QFETCH(QList<double>, expected);
        ManualClock time;
        ThroughputHistory history(time.clock());
        history.sample(0, 0);
        QCOMPARE(history.current().rx, 0.0);
        const int64_t start = time.ms;
        for (int i = 0; i < stepsMs.size(); ++i) {
            time.ms += stepsMs[i];
            history.sample(static_cast<uint32_t>(rxCounts[i]), 0);
        }
        QCOMPARE(RxRates(history), expected);
        for (size_t i = 0; i < history.points().size(); ++i)
            QCOMPARE(history.points()[i].endMs, start + 1000 * int64_t(i + 1));
        QCOMPARE(history.current().rx, expected.last());
    }

    void throughputKeepsTenMinutesAndClears() {
        ManualClock time;
        ThroughputHistory history(time.clock());
        uint32_t tx = 0;
        history.sample(0, tx);
        for (int second = 1; second <= 700; ++second) {
            time.ms += 1000;
            tx += static_cast<uint32_t>(second);
            history.sample(0, tx);
        }
        QCOMPARE(history.points().size(), size_t(ThroughputHistory::KeptSeconds));
        QCOMPARE(history.points().front().tx, 101.0);
        QCOMPARE(history.points().back().tx, 700.0);
        history.clear();
        QVERIFY(history.points().empty());
        // The counters go on from where they were: the next second is not a spike.
        time.ms += 1000;
        history.sample(0, tx + 5);
        QCOMPARE(history.current().tx, 5.0);
    }

    // The loop-back test in intervals: what each interval's judged sends came to.
    void loopbackIntervals() {
        ManualClock time;
        LoopbackIntervals loopback(time.clock(), 10000);
        loopback.sample(Counters(0, 0));
        time.ms += 4000;
        loopback.sample(Counters(2, 2));
        time.ms += 6000;  // the first interval ends
        loopback.sample(Counters(5, 3, 1, 0, 0, 1));
        time.ms += 10000;
        loopback.sample(Counters(10, 4, 2, 1, 1, 1));
        time.ms += 10000;  // nothing judged: no entry
        loopback.sample(Counters(10, 4, 2, 1, 1, 1));
        QCOMPARE(loopback.intervals().size(), size_t(2));
        const LoopbackInterval first = loopback.intervals()[0];
        QCOMPARE(first.endMs, 1'010'000);
        QCOMPARE(first.evaluated, 5);
        QCOMPARE(first.successRate(), 60.0);
        QCOMPARE(first.lost, 1);
        QCOMPARE(first.damaged, 1);
        const LoopbackInterval second = loopback.intervals()[1];
        QCOMPARE(second.endMs, 1'020'000);
        QCOMPARE(second.evaluated, 5);
        QCOMPARE(second.successRate(), 20.0);
        QCOMPARE((QList<int>{second.lost, second.shorter, second.longer, second.damaged}),
                 (QList<int>{1, 1, 1, 0}));

        // A new test starts its counters at zero: intervals start again from its first sample.
        time.ms += 3000;
        loopback.sample(Counters(0, 0));
        time.ms += 10000;
        loopback.sample(Counters(4, 4));
        QCOMPARE(loopback.intervals().size(), size_t(3));
        QCOMPARE(loopback.intervals().back().endMs, 1'043'000);
        QCOMPARE(loopback.intervals().back().successRate(), 100.0);

        // A stopped test drops the interval under way.
        time.ms += 5000;
        loopback.sample(Counters(6, 6));
        loopback.stop();
        time.ms += 1000;
        loopback.sample(Counters(7, 7));
        time.ms += 9000;
        loopback.sample(Counters(8, 7));
        QCOMPARE(loopback.intervals().size(), size_t(3));
        time.ms += 1000;
        loopback.sample(Counters(9, 7));
        QCOMPARE(loopback.intervals().back().evaluated, 2);
        QCOMPARE(loopback.intervals().back().successRate(), 0.0);
    }

    // The time axis spans the data until they span ten minutes, then the last ten minutes.
    void timeSpanFollowsTheDataUpToTenMinutes() {
        const auto rates = [](std::initializer_list<int64_t> ends) {
            std::deque<RatePoint> points;
            for (const int64_t end : ends) points.push_back({end, 1, 1});
            return points;
        };
        const auto intervals = [](std::initializer_list<int64_t> ends) {
            std::deque<LoopbackInterval> kept;
            for (const int64_t end : ends) kept.push_back({end, 1, 1});
            return kept;
        };
        const int64_t t = 1'700'000'000'000;
        QCOMPARE(ChartTimeSpan({}, {}, t), (ChartSpan{t - 10'000, t}));
        // The first seconds are spread over the least span, not squeezed to the right edge.
        QCOMPARE(ChartTimeSpan(rates({t - 2000, t - 1000, t}), {}, 0), (ChartSpan{t - 10'000, t}));
        QCOMPARE(ChartTimeSpan(rates({t - 180'000, t}), {}, 0), (ChartSpan{t - 180'000, t}));
        QCOMPARE(ChartTimeSpan(rates({t - 600'000, t}), {}, 0), (ChartSpan{t - 600'000, t}));
        // Loop-back intervals are kept for an hour; the charts show ten minutes of them.
        QCOMPARE(ChartTimeSpan(rates({t - 60'000, t}), intervals({t - 3'600'000, t - 10'000}), 0),
                 (ChartSpan{t - 600'000, t}));
        // Whichever series began first or ended last sets the span.
        QCOMPARE(ChartTimeSpan(rates({t - 30'000, t}), intervals({t - 120'000, t + 5000}), 0),
                 (ChartSpan{t - 120'000, t + 5000}));
        QCOMPARE(ChartTimeSpan({}, intervals({t - 40'000, t}), 0), (ChartSpan{t - 40'000, t}));
    }

    void csvHasEverySeries() {
        ManualClock time;
        time.ms = 0;
        ThroughputHistory history(time.clock());
        history.sample(0, 0);
        time.ms = 1000;
        history.sample(1500, 20);
        LoopbackIntervals loopback(time.clock(), 1000);
        loopback.sample(Counters(0, 0));
        time.ms = 2000;
        loopback.sample(Counters(4, 3, 0, 0, 1, 0));
        QCOMPARE(ChartSeriesCsv(history.points(), loopback.intervals()),
                 QByteArray("series,time,value\n"
                            "rx_bytes_per_s,1970-01-01T00:00:01.000Z,1500\n"
                            "tx_bytes_per_s,1970-01-01T00:00:01.000Z,20\n"
                            "success_percent,1970-01-01T00:00:02.000Z,75\n"
                            "lost,1970-01-01T00:00:02.000Z,0\n"
                            "shorter,1970-01-01T00:00:02.000Z,0\n"
                            "longer,1970-01-01T00:00:02.000Z,1\n"
                            "damaged,1970-01-01T00:00:02.000Z,0\n"));
    }
};

QTEST_GUILESS_MAIN(ChartModelTest)
#include "test_chartmodel.moc"
