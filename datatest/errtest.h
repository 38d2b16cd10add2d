#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

// The loop-back test's counts, all reset when a test starts.
struct ErrTestCounters {
    int32_t ErrTestSent = 0;     // periodic sends evaluated so far
    int32_t ErrTestMatched = 0;  // replies identical to the transmit text
    int32_t ErrTestSameLen = 0;  // same length, other content
    int32_t ErrTestNoReply = 0;  // nothing came back (counted from the third send on)
    int32_t ErrTestLonger = 0;   // reply longer than the transmit text
    int32_t ErrTestShorter = 0;  // reply shorter than the transmit text
};

enum class ReplyVerdict {
    Matched,
    NoReply,
    NoReplyNotCounted,  // silence after the first frame of a test is expected
    SameLength,
    Longer,
    Shorter,
};

// Classifies the reply `received` to the frame `transmitted` (byte-exact) and counts it.
// ErrTestSent is left alone: the rate is shown for the sends before this one, and the
// caller advances ErrTestSent after it.
ReplyVerdict CountReply(ErrTestCounters& counters, QByteArrayView transmitted,
                        QByteArrayView received);

// ErrTestMatched * 100 / ErrTestSent in single precision, written as "0.0000" (at least one
// digit before the point, four after it); nothing while ErrTestSent is 0.
std::optional<QString> SuccessRateText(const ErrTestCounters& counters);
