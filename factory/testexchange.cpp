#include "factory/testexchange.h"

#include "radio/frame.h"

namespace {

constexpr int TestWaitUnitMs = 50;
constexpr size_t ResultOffset = 4;

// Purges what came before, sends the frame and purges again, so that only what the radio
// sends after the request counts as its reply.
void SendRequest(SerialLink& link, TestFrame& frame) {
    link.PurgePort(PURGE_RXCLEAR);
    SetChecksum(frame.data());
    link.BytesToWrite = FrameSize(frame[2]);
    link.PurgePort(PURGE_TXCLEAR);
    link.WritePort(frame.data(), link.BytesToWrite);
    link.PurgePort(PURGE_RXCLEAR);
}

}  // namespace

std::optional<uint8_t> TestReply::result() const {
    if (outcome != Outcome::Answered || bytes.size() <= ResultOffset) return std::nullopt;
    return bytes[ResultOffset];
}

TestReply ExchangeTestFrame(SerialLink& link, TestFrame& frame, const Sleeper& sleep) {
    SendRequest(link, frame);
    sleep(link.WaitFactor * TestWaitUnitMs);
    TestReply reply;
    const uint32_t waiting = link.BytesWaiting();
    if (waiting > MaxTestReply) {
        link.PurgePort(PURGE_RXCLEAR);
        reply.outcome = TestReply::Outcome::Flooded;
    } else if (waiting > 0) {
        reply.bytes.resize(waiting);
        link.ReadPort(reply.bytes.data(), waiting);
        reply.outcome = TestReply::Outcome::Answered;
    }
    return reply;
}

RegisterDump DumpRegisters(SerialLink& link, const Sleeper& sleep) {
    RegisterDump dump;
    TestFrame frame = TestFrameTable[ReadRegister];
    std::array<uint8_t, MaxDumpReply> reply{};
    for (int reg = 0; reg < DumpRegisterCount; ++reg) {
        frame[4] = static_cast<uint8_t>(reg);
        SendRequest(link, frame);
        const LineSettings line = link.device() ? link.device()->lineSettings() : LineSettings{};
        sleep(DumpWaitMs(link.WaitFactor, line, FrameSize(frame[2])));
        const uint32_t waiting = link.BytesWaiting();
        if (waiting > MaxDumpReply) {
            link.PurgePort(PURGE_RXCLEAR);
            break;
        }
        if (waiting == 0) break;
        // A read that fails leaves zeros, never the previous register's reply.
        reply.fill(0);
        link.ReadPort(reply.data(), waiting);
        if (CheckFrame(reply.data(), waiting)) dump.values[reg] = reply[ResultOffset];
    }
    return dump;
}
