#include "factory/testexchange.h"

#include <algorithm>

#include "core/logging.h"
#include "radio/frame.h"

namespace {
constexpr size_t ResultOffset = 4;
}  // namespace

std::optional<uint8_t> TestReply::result() const {
    if (outcome != Outcome::Answered || bytes.size() <= ResultOffset) return std::nullopt;
    return bytes[ResultOffset];
}

TestExchanger::TestExchanger(SerialLink& link, MsClock clock)
    : link_(link), clock_(std::move(clock)) {}

// Purges what came before, sends the frame and purges again, so that only what the radio
// sends after the request counts as its reply.
void TestExchanger::send(TestFrame& frame) {
    link_.PurgePort(PURGE_RXCLEAR);
    SetChecksum(frame.data());
    link_.BytesToWrite = FrameSize(frame[2]);
    link_.PurgePort(PURGE_TXCLEAR);
    qCDebug(lcFactory).noquote() << "sent" << HexDump(frame.data(), link_.BytesToWrite);
    // A request the send queue refused gets no reply: the exchange ends silent.
    (void)link_.WritePort(frame.data(), link_.BytesToWrite);
    link_.PurgePort(PURGE_RXCLEAR);
    received_.clear();
    sentAt_ = clock_();
}

bool TestExchanger::overdue() const {
    // A network port's round trip comes on top: the reply's wire time alone is in the factor.
    const SerialDevice* device = link_.device();
    const int roundTripMs = device ? std::max(device->roundTripMs().value_or(0), 0) : 0;
    return clock_() - sentAt_ >= ReplyTimeoutMs(link_.WaitFactor) + roundTripMs;
}

bool TestExchanger::startSingle(TestFrame frame, std::function<void(const TestReply&)> done) {
    if (!link_.PortHandle()) return false;
    state_ = State::Single;
    singleDone_ = std::move(done);
    send(frame);
    return true;
}

bool TestExchanger::startDump(std::function<void(const RegisterDump&)> done) {
    if (!link_.PortHandle()) return false;
    state_ = State::Dump;
    dumpDone_ = std::move(done);
    dump_ = {};
    register_ = -1;
    nextRegister();
    return true;
}

void TestExchanger::cancel() {
    state_ = State::Idle;
    singleDone_ = nullptr;
    dumpDone_ = nullptr;
}

void TestExchanger::poll() {
    // A port closed under the exchange has been reported by whoever closed it.
    if (!link_.PortHandle()) {
        cancel();
        return;
    }
    if (state_ == State::Single) pollSingle();
    if (state_ == State::Dump) pollDump();
}

void TestExchanger::pollSingle() {
    const uint32_t waiting = link_.BytesWaiting();
    TestReply reply;
    if (received_.size() + waiting > MaxTestReply) {
        link_.PurgePort(PURGE_RXCLEAR);
        reply.outcome = TestReply::Outcome::Flooded;
    } else {
        const size_t before = received_.size();
        received_.resize(before + waiting);
        link_.ReadPort(received_.data() + before, waiting);
        if (!ReplyComplete(received_.data(), received_.size()) && !overdue()) return;
        if (!received_.empty()) reply.outcome = TestReply::Outcome::Answered;
        reply.bytes = received_;
    }
    qCDebug(lcFactory).noquote() << "reply"
                                 << HexDump(received_.data(), qsizetype(received_.size()))
                                 << (reply.outcome == TestReply::Outcome::Flooded ? "(flooded)"
                                                                                  : "");
    state_ = State::Idle;
    std::exchange(singleDone_, nullptr)(reply);
}

void TestExchanger::pollDump() {
    const uint32_t waiting = link_.BytesWaiting();
    if (received_.size() + waiting > MaxDumpReply) {
        link_.PurgePort(PURGE_RXCLEAR);
        finishDump();
        return;
    }
    const size_t before = received_.size();
    received_.resize(before + waiting);
    link_.ReadPort(received_.data() + before, waiting);
    const bool whole = ReplyComplete(received_.data(), received_.size());
    if (!whole && !overdue()) return;
    qCDebug(lcFactory).noquote() << "register" << register_ << "reply"
                                 << HexDump(received_.data(), qsizetype(received_.size()));
    if (received_.empty()) {
        finishDump();
        return;
    }
    if (CheckFrame(received_.data(), received_.size()))
        dump_.values[register_] = received_[ResultOffset];
    nextRegister();
}

void TestExchanger::nextRegister() {
    if (++register_ >= DumpRegisterCount) {
        finishDump();
        return;
    }
    TestFrame frame = TestFrameTable[ReadRegister];
    frame[4] = static_cast<uint8_t>(register_);
    send(frame);
}

void TestExchanger::finishDump() {
    state_ = State::Idle;
    std::exchange(dumpDone_, nullptr)(dump_);
}
