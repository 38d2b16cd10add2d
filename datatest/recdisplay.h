#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <vector>

// One read of the receive poll takes at most this many bytes.
inline constexpr uint32_t RecReadLimit = 1024;

// The reads that take all `waiting` bytes, in order, none larger than RecReadLimit, so that a
// backlog is read in pieces instead of being dropped.
std::vector<uint32_t> RecReadSizes(uint32_t waiting);

// Each byte as two upper-case hexadecimal digits followed by a space.
QString RecHexText(QByteArrayView bytes);

// Adds `n` to a 32-bit byte counter, wrapping past the largest value the way the counter
// always has, but without undefined overflow.
int32_t AddByteCount(int32_t count, uint32_t n);

// Automatic clearing empties the receive area once it holds more lines than this: 100 with
// automatic clearing checked, 1000 without.
constexpr int RecAutoClearLines(bool autoClear) {
    return autoClear ? 100 : 1000;
}
