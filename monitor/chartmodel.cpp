#include "monitor/chartmodel.h"

#include <QDateTime>
#include <algorithm>

namespace {

constexpr int64_t SecondMs = 1000;

// Growth of a counter that may have been reset (it then grew by its new value) and that wraps
// at 2^32 like the counters it watches, which a reset cannot be told from.
uint32_t Growth(uint32_t before, uint32_t now) {
    return now >= before ? now - before : now;
}

}  // namespace

ThroughputHistory::ThroughputHistory(ChartClock clock) : clock_(std::move(clock)) {}

void ThroughputHistory::sample(uint32_t rxCount, uint32_t txCount) {
    const int64_t now = std::max(clock_(), lastMs_);
    if (!started_) {
        started_ = true;
        secondStartMs_ = now;
    } else {
        spread(lastMs_, now, Growth(lastRx_, rxCount), Growth(lastTx_, txCount));
    }
    lastMs_ = now;
    lastRx_ = rxCount;
    lastTx_ = txCount;
}

void ThroughputHistory::spread(int64_t fromMs, int64_t toMs, double rx, double tx) {
    const auto span = static_cast<double>(toMs - fromMs);
    int64_t at = fromMs;
    while (secondStartMs_ + SecondMs <= toMs) {
        const int64_t end = secondStartMs_ + SecondMs;
        const double share = static_cast<double>(end - at) / span;
        points_.push_back({end, secondRx_ + rx * share, secondTx_ + tx * share});
        secondRx_ = 0;
        secondTx_ = 0;
        secondStartMs_ = end;
        at = end;
    }
    while (points_.size() > KeptSeconds) points_.pop_front();
    const double share = span > 0 ? static_cast<double>(toMs - at) / span : 1.0;
    secondRx_ += rx * share;
    secondTx_ += tx * share;
}

RatePoint ThroughputHistory::current() const {
    return points_.empty() ? RatePoint{} : points_.back();
}

void ThroughputHistory::clear() {
    points_.clear();
}

LoopbackIntervals::LoopbackIntervals(ChartClock clock, int64_t intervalMs)
    : clock_(std::move(clock)), intervalMs_(intervalMs) {}

void LoopbackIntervals::sample(const ErrTestCounters& counters) {
    const int64_t now = clock_();
    if (!running_ || counters.ErrTestSent < base_.ErrTestSent) {
        running_ = true;
        startMs_ = now;
        base_ = counters;
        return;
    }
    while (now >= startMs_ + intervalMs_) {
        LoopbackInterval interval;
        interval.endMs = startMs_ + intervalMs_;
        interval.evaluated = counters.ErrTestSent - base_.ErrTestSent;
        interval.matched = counters.ErrTestMatched - base_.ErrTestMatched;
        interval.lost = counters.ErrTestNoReply - base_.ErrTestNoReply;
        interval.shorter = counters.ErrTestShorter - base_.ErrTestShorter;
        interval.longer = counters.ErrTestLonger - base_.ErrTestLonger;
        interval.damaged = counters.ErrTestSameLen - base_.ErrTestSameLen;
        if (interval.evaluated > 0) intervals_.push_back(interval);
        base_ = counters;
        startMs_ = interval.endMs;
    }
    while (intervals_.size() > KeptIntervals) intervals_.pop_front();
}

void LoopbackIntervals::stop() {
    running_ = false;
}

void LoopbackIntervals::setIntervalMs(int64_t intervalMs) {
    intervalMs_ = std::max<int64_t>(intervalMs, SecondMs);
    running_ = false;
}

void LoopbackIntervals::clear() {
    intervals_.clear();
}

ChartSpan ChartTimeSpan(const std::deque<RatePoint>& rates,
                        const std::deque<LoopbackInterval>& intervals, int64_t nowMs) {
    if (rates.empty() && intervals.empty()) return {nowMs - LeastChartSpanMs, nowMs};
    int64_t oldest = INT64_MAX;
    int64_t newest = INT64_MIN;
    if (!rates.empty()) {
        oldest = rates.front().endMs;
        newest = rates.back().endMs;
    }
    if (!intervals.empty()) {
        oldest = std::min(oldest, intervals.front().endMs);
        newest = std::max(newest, intervals.back().endMs);
    }
    return {std::clamp(oldest, newest - ChartSpanMs, newest - LeastChartSpanMs), newest};
}

QByteArray ChartSeriesCsv(const std::deque<RatePoint>& rates,
                          const std::deque<LoopbackInterval>& intervals) {
    QByteArray csv = "series,time,value\n";
    const auto line = [&csv](const char* series, int64_t ms, double value) {
        csv += series;
        csv += ',';
        csv += QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toLatin1();
        csv += ',';
        csv += QByteArray::number(value, 'g', 10);
        csv += '\n';
    };
    for (const RatePoint& point : rates) line("rx_bytes_per_s", point.endMs, point.rx);
    for (const RatePoint& point : rates) line("tx_bytes_per_s", point.endMs, point.tx);
    for (const LoopbackInterval& i : intervals) line("success_percent", i.endMs, i.successRate());
    for (const LoopbackInterval& i : intervals) line("lost", i.endMs, i.lost);
    for (const LoopbackInterval& i : intervals) line("shorter", i.endMs, i.shorter);
    for (const LoopbackInterval& i : intervals) line("longer", i.endMs, i.longer);
    for (const LoopbackInterval& i : intervals) line("damaged", i.endMs, i.damaged);
    return csv;
}
