#include "datatest/errtest.h"

#include <cmath>

ReplyVerdict CountReply(ErrTestCounters& counters, QByteArrayView transmitted,
                        QByteArrayView received) {
    if (received == transmitted) {
        ++counters.ErrTestMatched;
        return ReplyVerdict::Matched;
    }
    if (received.isEmpty()) {
        if (counters.ErrTestSent <= 1) return ReplyVerdict::NoReplyNotCounted;
        ++counters.ErrTestNoReply;
        return ReplyVerdict::NoReply;
    }
    if (received.size() == transmitted.size()) {
        ++counters.ErrTestSameLen;
        return ReplyVerdict::SameLength;
    }
    if (transmitted.size() < received.size()) {
        ++counters.ErrTestLonger;
        return ReplyVerdict::Longer;
    }
    ++counters.ErrTestShorter;
    return ReplyVerdict::Shorter;
}

std::optional<QString> SuccessRateText(const ErrTestCounters& counters) {
    if (counters.ErrTestSent == 0) return std::nullopt;
    // In double first, so that the product cannot overflow 32 bits on a long test.
    const float rate = static_cast<float>(static_cast<double>(counters.ErrTestMatched) * 100.0 /
                                          static_cast<double>(counters.ErrTestSent));
    // Round to ten-thousandths, halves away from zero (a float times 10000 is exact in double);
    // the quotient then lies far from any tie, so fixed notation keeps those digits.
    const double units = std::round(static_cast<double>(rate) * 10000.0);
    return QString::number(units / 10000.0, 'f', 4);
}
