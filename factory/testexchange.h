#pragma once

// The request/reply exchanges of the factory test window over the program's port. Nothing
// here waits: an exchange sends its request and is then polled until its reply is whole
// (the frame's length byte says when), too long, or overdue.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "factory/testframes.h"
#include "serial/seriallink.h"

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

struct RegisterDump {
    // Reply byte 4 of each register whose reply passed the frame check.
    std::array<std::optional<uint8_t>, DumpRegisterCount> values;

    // The loop reached the last register and its reply was a valid frame.
    bool complete() const { return values.back().has_value(); }
};

// Milliseconds since some fixed start.
using MsClock = std::function<int64_t()>;

// Runs one exchange at a time: a single request, or the dump of registers 0 to 32 one after
// another (it ends at the first register without a reply or with more than MaxDumpReply bytes
// waiting). Each waits at most ReplyTimeoutMs(WaitFactor) for its reply, plus the round trip of
// a network port.
class TestExchanger {
  public:
    TestExchanger(SerialLink& link, MsClock clock);
    void setClock(MsClock clock) { clock_ = std::move(clock); }

    // Sends `frame` (its checksum computed first); `done` gets the reply. False, with nothing
    // sent, when no port is open.
    [[nodiscard]] bool startSingle(TestFrame frame, std::function<void(const TestReply&)> done);
    // Reads the registers; `done` gets what they held. False when no port is open.
    [[nodiscard]] bool startDump(std::function<void(const RegisterDump&)> done);
    bool running() const { return state_ != State::Idle; }
    // Takes what has arrived and ends the exchange (calling its `done`) once it is over.
    void poll();
    // Ends the running exchange without a result.
    void cancel();

  private:
    enum class State { Idle, Single, Dump };

    void send(TestFrame& frame);
    bool overdue() const;
    void pollSingle();
    void pollDump();
    void nextRegister();
    void finishDump();

    SerialLink& link_;
    MsClock clock_;
    State state_ = State::Idle;
    int64_t sentAt_ = 0;
    std::vector<uint8_t> received_;
    std::function<void(const TestReply&)> singleDone_;
    std::function<void(const RegisterDump&)> dumpDone_;
    RegisterDump dump_;
    int register_ = 0;
};
