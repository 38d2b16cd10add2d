#pragma once

#include <QStringList>
#include <cstdint>
#include <span>

// Both the manual and the periodic hexadecimal send parse into a buffer of this size.
inline constexpr int TrttHexBufferSize = 1024;

// Parses digit pairs from each line into `out` and returns the number of bytes produced.
// Characters that are not hexadecimal digits are skipped without separating a pair; a digit
// left over at the end of a line is dropped, since a pair never spans two lines. Parsing stops
// once `out` is full.
int TrttHexToBytes(const QStringList& lines, std::span<uint8_t> out);
