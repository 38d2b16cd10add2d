#pragma once

// The request/reply exchanges of the factory test window over the program's port. They block
// the calling thread for their wait, which goes through `sleep` so tests can move a simulated
// radio on instead of sleeping. Both expect an open port.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "factory/testframes.h"
#include "serial/seriallink.h"

using Sleeper = std::function<void(int ms)>;

struct TestReply {
    enum class Outcome {
        Silent,   // nothing arrived within the wait
        Flooded,  // more than MaxTestReply bytes arrived; they were discarded
        Answered,
    };
    Outcome outcome = Outcome::Silent;
    std::vector<uint8_t> bytes;  // what arrived, unchecked, when answered

    // The byte after the command byte, when the reply reaches that far.
    std::optional<uint8_t> result() const;
};

// Sends `frame` (its checksum computed first) and takes what arrived after
// WaitFactor x 50 ms. The frame is on the wire before the wait starts.
TestReply ExchangeTestFrame(SerialLink& link, TestFrame& frame, const Sleeper& sleep);

struct RegisterDump {
    // Reply byte 4 of each register whose reply passed the frame check.
    std::array<std::optional<uint8_t>, DumpRegisterCount> values;

    // The loop reached the last register and its reply was a valid frame.
    bool complete() const { return values.back().has_value(); }
};

// Reads registers 0 to 32 one by one; ends at the first register without a reply or with
// more than MaxDumpReply bytes waiting.
RegisterDump DumpRegisters(SerialLink& link, const Sleeper& sleep);
