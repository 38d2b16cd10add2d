#include "serial/rfc2217.h"

#include <algorithm>

#include "serial/telnet.h"

namespace {

// The server's answer to a command has the command's code plus this.
constexpr uint8_t kServerCodeOffset = 100;

constexpr uint8_t kDataBits = 8;

// NOTIFY-LINESTATE bits.
constexpr uint8_t kLineStateOverrun = 0x02;
constexpr uint8_t kLineStateParity = 0x04;
constexpr uint8_t kLineStateFraming = 0x08;
constexpr uint8_t kLineStateBreak = 0x10;

QByteArray OneByte(uint8_t value) {
    return QByteArray(1, char(value));
}

}  // namespace

QByteArray ComPortRequest(ComPortCommand command, QByteArrayView value) {
    const char start[]{char(Telnet::IAC), char(Telnet::SB), char(Telnet::OptionComPort),
                       char(command)};
    const char end[]{char(Telnet::IAC), char(Telnet::SE)};
    return QByteArray(start, sizeof start) + EscapeIac(value) + QByteArray(end, sizeof end);
}

QByteArray SetBaudRateRequest(uint32_t baudRate) {
    const char value[]{char(baudRate >> 24), char(baudRate >> 16), char(baudRate >> 8),
                       char(baudRate)};
    return ComPortRequest(ComPortCommand::SetBaudRate, QByteArrayView(value, sizeof value));
}

QByteArray SetDataSizeRequest(uint8_t dataBits) {
    return ComPortRequest(ComPortCommand::SetDataSize, OneByte(dataBits));
}

QByteArray SetParityRequest(ParityMode parity) {
    return ComPortRequest(ComPortCommand::SetParity, OneByte(ParityCode(parity)));
}

QByteArray SetStopSizeRequest(int stopBits) {
    return ComPortRequest(ComPortCommand::SetStopSize, OneByte(StopSizeCode(stopBits)));
}

QByteArray PurgeDataRequest(bool output, bool input) {
    if (!output && !input) return {};
    return ComPortRequest(ComPortCommand::PurgeData, OneByte(PurgeCode(output, input)));
}

uint8_t ParityCode(ParityMode parity) {
    switch (parity) {
        case ParityMode::Odd:
            return 2;
        case ParityMode::Even:
            return 3;
        case ParityMode::None:
            break;
    }
    return 1;
}

uint8_t StopSizeCode(int stopBits) {
    return stopBits == 2 ? 2 : 1;
}

uint8_t PurgeCode(bool output, bool input) {
    return (input ? 1 : 0) | (output ? 2 : 0);
}

std::optional<ComPortReply> ParseComPortReply(QByteArrayView payload) {
    if (payload.isEmpty()) return std::nullopt;
    const auto code = uint8_t(payload.front());
    if (code < kServerCodeOffset || code > kServerCodeOffset + uint8_t(ComPortCommand::PurgeData)) {
        return std::nullopt;
    }
    const auto command = ComPortCommand(code - kServerCodeOffset);
    const QByteArrayView value = payload.sliced(1);
    switch (command) {
        case ComPortCommand::Signature:
            // Free text, which the client has no use for.
            return ComPortReply{command, 0};
        case ComPortCommand::SetBaudRate: {
            if (value.size() != 4) return std::nullopt;
            uint32_t rate = 0;
            for (char byte : value) rate = (rate << 8) | uint8_t(byte);
            return ComPortReply{command, rate};
        }
        case ComPortCommand::FlowControlSuspend:
        case ComPortCommand::FlowControlResume:
            if (!value.isEmpty()) return std::nullopt;
            return ComPortReply{command, 0};
        default:
            if (value.size() != 1) return std::nullopt;
            return ComPortReply{command, uint8_t(value.front())};
    }
}

uint32_t LineErrorsOfLineState(uint8_t lineState) {
    uint32_t errors = 0;
    if (lineState & kLineStateOverrun) errors |= LineError::Overrun;
    if (lineState & kLineStateParity) errors |= LineError::RxParity;
    if (lineState & kLineStateFraming) errors |= LineError::Framing;
    if (lineState & kLineStateBreak) errors |= LineError::Break;
    return errors;
}

LineSettingsRequest::LineSettingsRequest(const LineSettings& wanted)
    : wanted_(wanted),
      expected_{{
          {ComPortCommand::SetBaudRate, uint32_t(wanted.baudRate), std::nullopt},
          {ComPortCommand::SetDataSize, kDataBits, std::nullopt},
          {ComPortCommand::SetParity, ParityCode(wanted.parity), std::nullopt},
          {ComPortCommand::SetStopSize, StopSizeCode(wanted.stopBits), std::nullopt},
      }} {}

QByteArray LineSettingsRequest::bytes() const {
    return SetBaudRateRequest(uint32_t(wanted_.baudRate)) + SetDataSizeRequest(kDataBits) +
           SetParityRequest(wanted_.parity) + SetStopSizeRequest(wanted_.stopBits);
}

bool LineSettingsRequest::take(const ComPortReply& reply) {
    for (Expected& expected : expected_) {
        if (expected.command != reply.command || expected.answer) continue;
        expected.answer = reply.value;
        return true;
    }
    return false;
}

bool LineSettingsRequest::answered() const {
    return std::all_of(expected_.begin(), expected_.end(),
                       [](const Expected& expected) { return expected.answer.has_value(); });
}

bool LineSettingsRequest::confirmed() const {
    return std::all_of(expected_.begin(), expected_.end(),
                       [](const Expected& expected) { return expected.answer == expected.value; });
}
