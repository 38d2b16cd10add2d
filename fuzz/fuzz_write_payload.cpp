// Arbitrary control states through the write payload: a frame is completed exactly when the
// identity text is long enough, and a completed frame always passes the frame check.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "radio/frame.h"
#include "radio/paramcodec.h"

namespace {
void Require(bool condition) {
    if (!condition) abort();
}

int TakeInt(const uint8_t*& data, size_t& size) {
    int32_t value = 0;
    const size_t n = std::min(size, sizeof value);
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int step = TakeInt(data, size) % 6;
    WriteSelection selection;
    selection.airBaudPosition = TakeInt(data, size);
    selection.channelPosition = TakeInt(data, size);
    selection.serialBaudPosition = TakeInt(data, size);
    selection.parityPosition = TakeInt(data, size);
    selection.idText.resize(size / 2);
    std::memcpy(selection.idText.data(), data, selection.idText.size() * 2);
    selection.idText.shrink_to_fit();

    uint8_t frame[MaxFrameSize] = {};
    const int templateIndex = step >= 0 && step < WriteStepCount ? step : 0;
    std::memcpy(frame, WriteCmdTable[templateIndex], sizeof WriteCmdTable[templateIndex]);
    uint8_t before[MaxFrameSize];
    std::memcpy(before, frame, sizeof frame);

    const bool filled = FillWritePayload(step, selection, frame);
    Require(filled == (step != 1 || selection.idText.size() >= 4));
    if (filled) {
        Require(CheckFrame(frame, FrameSize(frame[2])));
    } else {
        Require(std::memcmp(frame, before, sizeof frame) == 0);
    }
    return 0;
}
