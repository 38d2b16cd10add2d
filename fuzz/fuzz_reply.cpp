// Arbitrary reply bytes through the frame check, the connect judge and every read step.

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

bool SameFields(const RadioParameterSet& a, const RadioParameterSet& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const bool valid = CheckFrame(data, size);
    if (valid) {
        const size_t announced = FrameSize(data[2]);
        Require(data[2] >= MinReplyLength && data[2] <= MaxReplyLength);
        Require(announced <= size);
        // Bytes after the frame do not matter, and a frame that has not fully arrived is
        // never valid.
        Require(CheckFrame(data, announced));
        Require(!CheckFrame(data, announced - 1));
    } else if (size >= 3 && data[2] + 4u <= size) {
        Require(!CheckFrame(data, data[2] + 4u));
    }

    const RadioParameterSet before{0xE1, 0xE2, 0xE3, 0xE4, {0xE5, 0xE6}};

    RadioParameterSet judged = before;
    const bool accepted = JudgeModelReply(data, size, judged);
    Require(!accepted || (valid && judged.ModelCode <= HighestAcceptedModel));
    if (!valid) Require(SameFields(judged, before));

    for (int step = -1; step <= ReadStepCount; ++step) {
        RadioParameterSet decoded = before;
        Require(DecodeReadReply(step, data, size, decoded) == valid);
        if (!valid || step < 0 || step >= ReadStepCount) Require(SameFields(decoded, before));

        // A value no list knows shows nothing; what is shown is the radio's own value.
        const DisplayedParameters shown = PrepareDisplay(decoded);
        Require(shown.channelPosition == NoSelection || shown.channelPosition + 1 == decoded.Chnn);
        Require(shown.channelPosition == NoSelection || shown.channelPosition <= 15);
        Require(shown.airBaudPosition == NoSelection ||
                shown.airBaudPosition == decoded.AirBaudIdx);
        Require(shown.airBaudPosition <= 9);
        Require(shown.idText.empty() != IdCodeKnown(decoded.IdCode));
    }
    return 0;
}
