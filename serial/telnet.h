#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>
#include <vector>

// The telnet protocol as far as a client of a network serial server needs it: the stream split
// into data and commands, and the negotiation of the few options it agrees to.
namespace Telnet {
inline constexpr uint8_t SE = 240;
inline constexpr uint8_t SB = 250;
inline constexpr uint8_t WILL = 251;
inline constexpr uint8_t WONT = 252;
inline constexpr uint8_t DO = 253;
inline constexpr uint8_t DONT = 254;
inline constexpr uint8_t IAC = 255;

inline constexpr uint8_t OptionBinary = 0;
inline constexpr uint8_t OptionEcho = 1;
inline constexpr uint8_t OptionSuppressGoAhead = 3;
inline constexpr uint8_t OptionComPort = 44;
}  // namespace Telnet

// The data with every IAC doubled, as the stream and a subnegotiation carry it.
QByteArray EscapeIac(QByteArrayView data);

// One thing the peer sent, in the order it sent them.
struct TelnetEvent {
    enum class Kind { Data, Negotiation, Subnegotiation };
    Kind kind = Kind::Data;
    uint8_t verb = 0;  // WILL, WONT, DO or DONT of a negotiation
    uint8_t option = 0;
    QByteArray bytes;  // the data, or a subnegotiation's payload with IACs undoubled
    friend bool operator==(const TelnetEvent&, const TelnetEvent&) = default;
};

// Splits what a telnet peer sends into data, negotiations and subnegotiations, across any
// division of the stream into pieces. Other commands (NOP, GA, ...) carry nothing a serial port
// needs and are passed over. A subnegotiation longer than MaxSubnegotiationBytes, or one broken
// by an IAC that neither doubles a byte nor ends it, is dropped whole.
class TelnetDecoder {
  public:
    static constexpr int MaxSubnegotiationBytes = 64;

    std::vector<TelnetEvent> feed(QByteArrayView bytes);
    // Subnegotiations dropped since the start.
    int dropped() const { return dropped_; }

  private:
    enum class State { Data, Command, Option, SubOption, SubData, SubIac, SubSkip, SubSkipIac };
    void command(uint8_t byte, std::vector<TelnetEvent>& events);
    void subData(uint8_t byte);
    void dropSubnegotiation();

    State state_ = State::Data;
    uint8_t verb_ = 0;
    uint8_t subOption_ = 0;
    QByteArray subBytes_;
    int dropped_ = 0;
};

// The options a client of a serial server agrees to: binary transmission and no go-aheads both
// ways, the COM port option on its side, and the server's echo (the server does not echo what a
// serial line sends; the client never echoes either). Everything else is refused once per
// request, so that a peer that keeps asking gets an answer of the same size and nothing more.
class TelnetNegotiation {
  public:
    // What the client asks for as soon as it is connected.
    QByteArray start();
    // The answer to a negotiation from the server; empty when none is due.
    QByteArray answer(uint8_t verb, uint8_t option);
    // The client does the option (the server agreed to its WILL or asked with DO).
    bool localEnabled(uint8_t option) const;
    // After start(): the server refused the client's own option, or withdrew it.
    bool localRefused(uint8_t option) const;
    bool remoteEnabled(uint8_t option) const;

  private:
    enum class OptionState : uint8_t { No, Yes, WantYes, Refused };
    QByteArray answerSide(OptionState& state, bool supported, bool enable, uint8_t agree,
                          uint8_t refuse, uint8_t option);

    std::array<OptionState, 256> local_{};   // what the client does
    std::array<OptionState, 256> remote_{};  // what the server does
};
