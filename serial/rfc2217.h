#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>
#include <optional>

#include "serial/serialdevice.h"

// The telnet COM port option: the client asks the server to set its serial port, and the server
// answers each request with the value it now has.
enum class ComPortCommand : uint8_t {
    Signature = 0,
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyLineState = 6,
    NotifyModemState = 7,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};

// A subnegotiation the client sends: IAC SB COM-PORT-OPTION command value IAC SE, the value's
// IACs doubled.
QByteArray ComPortRequest(ComPortCommand command, QByteArrayView value);

QByteArray SetBaudRateRequest(uint32_t baudRate);
QByteArray SetDataSizeRequest(uint8_t dataBits);
QByteArray SetParityRequest(ParityMode parity);
QByteArray SetStopSizeRequest(int stopBits);
// Purges the server's buffers: its receive buffer for `input` (bytes from the serial line not
// yet sent on), its transmit buffer for `output`. Empty when neither.
QByteArray PurgeDataRequest(bool output, bool input);

// The codes the values of parity, stop size and purge have on the wire.
uint8_t ParityCode(ParityMode parity);
uint8_t StopSizeCode(int stopBits);
uint8_t PurgeCode(bool output, bool input);

// One answer or notification of the server, from a subnegotiation's payload.
struct ComPortReply {
    ComPortCommand command = ComPortCommand::Signature;
    uint32_t value = 0;  // the rate, or the one-byte value; 0 for a signature
    friend bool operator==(const ComPortReply&, const ComPortReply&) = default;
};

// The server's answer in a COM port subnegotiation payload (its IACs undoubled); none when the
// code is not a server's, or the value is not exactly as long as the command's.
std::optional<ComPortReply> ParseComPortReply(QByteArrayView payload);

// The line error flags a NOTIFY-LINESTATE value reports.
uint32_t LineErrorsOfLineState(uint8_t lineState);

// The four requests that set a serial port's line, and whether the server's answers confirm
// each value asked for. A server that answers with another value has refused that setting.
class LineSettingsRequest {
  public:
    explicit LineSettingsRequest(const LineSettings& wanted);

    QByteArray bytes() const;
    // Takes one of the server's replies; false when it answers none of the four.
    bool take(const ComPortReply& reply);
    // Every one of the four has been answered.
    bool answered() const;
    // Answered, each with the value asked for.
    bool confirmed() const;
    const LineSettings& wanted() const { return wanted_; }

  private:
    struct Expected {
        ComPortCommand command;
        uint32_t value;
        std::optional<uint32_t> answer;
    };
    LineSettings wanted_;
    std::array<Expected, 4> expected_;
};
