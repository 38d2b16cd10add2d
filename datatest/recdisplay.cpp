#include "datatest/recdisplay.h"

int32_t AddByteCount(int32_t count, uint32_t n) {
    return static_cast<int32_t>(static_cast<uint32_t>(count) + n);
}
