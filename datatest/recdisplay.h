#pragma once

#include <cstdint>

// Adds `n` to a 32-bit byte counter, wrapping past the largest value the way the counter
// always has, but without undefined overflow.
int32_t AddByteCount(int32_t count, uint32_t n);

// With automatic clearing checked, the receive area is emptied once it holds more lines than
// this. Unchecked, it keeps what its store holds.
inline constexpr int RecAutoClearLineLimit = 100;
