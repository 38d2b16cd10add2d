#pragma once

// What the charts show, kept without widgets: bytes per second of the data test's counters,
// one point per second for the last ten minutes, and the loop-back test's results per interval.
// Both read time from a clock given to them, so that a test can move it.

#include <QByteArray>
#include <cstdint>
#include <deque>
#include <functional>

#include "datatest/errtest.h"

// Milliseconds since the Unix epoch; the points carry its readings. A reading earlier than the
// one before counts as no time passing.
using ChartClock = std::function<int64_t()>;

struct RatePoint {
    int64_t endMs = 0;  // the end of the second the point stands for
    double rx = 0;      // bytes per second
    double tx = 0;
};

class ThroughputHistory {
  public:
    static constexpr int KeptSeconds = 600;

    explicit ThroughputHistory(ChartClock clock);

    // Takes the counters' values now. What they grew by since the last call is spread evenly
    // over the time between the two calls, so a late call gives no spike; a counter that went
    // down was reset and grew by its new value. Every second that ended gives a point.
    void sample(uint32_t rxCount, uint32_t txCount);
    const std::deque<RatePoint>& points() const { return points_; }
    // The last second's rates; zero before the first second has ended.
    RatePoint current() const;
    // Forgets the points; the counters go on from their last values.
    void clear();

  private:
    void spread(int64_t fromMs, int64_t toMs, double rx, double tx);

    ChartClock clock_;
    bool started_ = false;
    int64_t lastMs_ = 0;
    uint32_t lastRx_ = 0;
    uint32_t lastTx_ = 0;
    int64_t secondStartMs_ = 0;
    double secondRx_ = 0;
    double secondTx_ = 0;
    std::deque<RatePoint> points_;
};

// The loop-back test over one interval: what its sends came to.
struct LoopbackInterval {
    int64_t endMs = 0;
    int32_t evaluated = 0;  // sends whose reply was judged
    int32_t matched = 0;
    int32_t lost = 0;     // no reply
    int32_t shorter = 0;  // reply shorter than what was sent
    int32_t longer = 0;
    int32_t damaged = 0;  // same length, other bytes
    // matched per evaluated send, in percent
    double successRate() const { return evaluated > 0 ? 100.0 * matched / evaluated : 0; }
};

class LoopbackIntervals {
  public:
    static constexpr int KeptIntervals = 360;
    static constexpr int64_t DefaultIntervalMs = 10000;

    explicit LoopbackIntervals(ChartClock clock, int64_t intervalMs = DefaultIntervalMs);

    // Takes the running test's counters now. Intervals are counted from the first call after
    // a (re)start; one that ends gives an entry when some send in it was judged. Counters that
    // went down mean a new test: the intervals start again from there.
    void sample(const ErrTestCounters& counters);
    // The test is not running: the interval under way is dropped.
    void stop();
    // The interval under way starts again with the new length.
    void setIntervalMs(int64_t intervalMs);
    int64_t intervalMs() const { return intervalMs_; }
    const std::deque<LoopbackInterval>& intervals() const { return intervals_; }
    void clear();

  private:
    ChartClock clock_;
    int64_t intervalMs_;
    bool running_ = false;
    int64_t startMs_ = 0;
    ErrTestCounters base_;
    std::deque<LoopbackInterval> intervals_;
};

// The time both charts show, in milliseconds since the Unix epoch.
struct ChartSpan {
    int64_t fromMs = 0;
    int64_t toMs = 0;
    friend bool operator==(const ChartSpan&, const ChartSpan&) = default;
};

inline constexpr int64_t ChartSpanMs = ThroughputHistory::KeptSeconds * 1000LL;
// The least span, so that the first points do not sit on top of each other.
inline constexpr int64_t LeastChartSpanMs = 10000;

// From the oldest point of either series to the newest, until that is more than ten minutes:
// then the last ten minutes. With no points, the least span up to `nowMs`.
ChartSpan ChartTimeSpan(const std::deque<RatePoint>& rates,
                        const std::deque<LoopbackInterval>& intervals, int64_t nowMs);

// The series as CSV: a header line "series,time,value", then one line per point and series
// (rx_bytes_per_s, tx_bytes_per_s, then per interval success_percent, lost, shorter, longer
// and damaged), the time in UTC as 2024-05-01T12:00:01.000Z.
QByteArray ChartSeriesCsv(const std::deque<RatePoint>& rates,
                          const std::deque<LoopbackInterval>& intervals);
