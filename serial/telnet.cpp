#include "serial/telnet.h"

#include <cstring>

namespace {

QByteArray Command(uint8_t verb, uint8_t option) {
    const char bytes[]{char(Telnet::IAC), char(verb), char(option)};
    return QByteArray(bytes, sizeof bytes);
}

bool IsLocalOptionSupported(uint8_t option) {
    return option == Telnet::OptionBinary || option == Telnet::OptionSuppressGoAhead ||
           option == Telnet::OptionComPort;
}

bool IsRemoteOptionSupported(uint8_t option) {
    return option == Telnet::OptionBinary || option == Telnet::OptionSuppressGoAhead ||
           option == Telnet::OptionEcho;
}

void AppendData(std::vector<TelnetEvent>& events, QByteArrayView data) {
    if (events.empty() || events.back().kind != TelnetEvent::Kind::Data) {
        events.push_back({TelnetEvent::Kind::Data, 0, 0, {}});
    }
    events.back().bytes.append(data);
}

}  // namespace

QByteArray EscapeIac(QByteArrayView data) {
    QByteArray escaped;
    escaped.reserve(data.size() + data.count(char(Telnet::IAC)));
    for (char byte : data) {
        escaped.append(byte);
        if (uint8_t(byte) == Telnet::IAC) escaped.append(byte);
    }
    return escaped;
}

std::vector<TelnetEvent> TelnetDecoder::feed(QByteArrayView bytes) {
    std::vector<TelnetEvent> events;
    const char* const end = bytes.data() + bytes.size();
    for (const char* next = bytes.data(); next != end; ++next) {
        const char c = *next;
        const auto byte = uint8_t(c);
        switch (state_) {
            case State::Data:
                if (byte == Telnet::IAC) {
                    state_ = State::Command;
                } else {
                    // Data come in runs between commands: each run is taken whole.
                    const void* iac = std::memchr(next, Telnet::IAC, size_t(end - next));
                    const char* runEnd = iac ? static_cast<const char*>(iac) : end;
                    AppendData(events, QByteArrayView(next, runEnd));
                    next = runEnd - 1;
                }
                break;
            case State::Command:
                command(byte, events);
                break;
            case State::Option:
                events.push_back({TelnetEvent::Kind::Negotiation, verb_, byte, {}});
                state_ = State::Data;
                break;
            case State::SubOption:
                subOption_ = byte;
                subBytes_.clear();
                state_ = State::SubData;
                break;
            case State::SubData:
                if (byte == Telnet::IAC) {
                    state_ = State::SubIac;
                } else {
                    subData(byte);
                }
                break;
            case State::SubIac:
                if (byte == Telnet::IAC) {
                    state_ = State::SubData;
                    subData(byte);
                } else if (byte == Telnet::SE) {
                    events.push_back({TelnetEvent::Kind::Subnegotiation, 0, subOption_,
                                      std::exchange(subBytes_, {})});
                    state_ = State::Data;
                } else {
                    // Not a telnet peer's subnegotiation: nothing of it can be trusted.
                    dropSubnegotiation();
                    state_ = State::Data;
                }
                break;
            case State::SubSkip:
                if (byte == Telnet::IAC) state_ = State::SubSkipIac;
                break;
            case State::SubSkipIac:
                state_ = byte == Telnet::SE ? State::Data : State::SubSkip;
                break;
        }
    }
    return events;
}

void TelnetDecoder::command(uint8_t byte, std::vector<TelnetEvent>& events) {
    switch (byte) {
        case Telnet::IAC:
            AppendData(events, QByteArrayView(reinterpret_cast<const char*>(&byte), 1));
            state_ = State::Data;
            return;
        case Telnet::WILL:
        case Telnet::WONT:
        case Telnet::DO:
        case Telnet::DONT:
            verb_ = byte;
            state_ = State::Option;
            return;
        case Telnet::SB:
            state_ = State::SubOption;
            return;
        default:
            state_ = State::Data;
            return;
    }
}

void TelnetDecoder::subData(uint8_t byte) {
    if (subBytes_.size() >= MaxSubnegotiationBytes) {
        dropSubnegotiation();
        state_ = State::SubSkip;
        return;
    }
    subBytes_.append(char(byte));
}

void TelnetDecoder::dropSubnegotiation() {
    subBytes_.clear();
    ++dropped_;
}

QByteArray TelnetNegotiation::start() {
    QByteArray requests;
    for (uint8_t option :
         {Telnet::OptionBinary, Telnet::OptionSuppressGoAhead, Telnet::OptionComPort}) {
        local_[option] = OptionState::WantYes;
        requests += Command(Telnet::WILL, option);
    }
    for (uint8_t option : {Telnet::OptionBinary, Telnet::OptionSuppressGoAhead}) {
        remote_[option] = OptionState::WantYes;
        requests += Command(Telnet::DO, option);
    }
    return requests;
}

QByteArray TelnetNegotiation::answer(uint8_t verb, uint8_t option) {
    switch (verb) {
        case Telnet::WILL:
        case Telnet::WONT:
            return answerSide(remote_[option], IsRemoteOptionSupported(option),
                              verb == Telnet::WILL, Telnet::DO, Telnet::DONT, option);
        case Telnet::DO:
        case Telnet::DONT:
            return answerSide(local_[option], IsLocalOptionSupported(option), verb == Telnet::DO,
                              Telnet::WILL, Telnet::WONT, option);
        default:
            return {};
    }
}

// One side of an option, after the server asked for it (`enable`) or refused it. A request the
// client made is settled by the answer without a reply; an agreed option is never asked again.
QByteArray TelnetNegotiation::answerSide(OptionState& state, bool supported, bool enable,
                                         uint8_t agree, uint8_t refuse, uint8_t option) {
    if (enable) {
        switch (state) {
            case OptionState::Yes:
                return {};
            case OptionState::WantYes:
                state = OptionState::Yes;
                return {};
            case OptionState::No:
            case OptionState::Refused:
                if (!supported) return Command(refuse, option);
                state = OptionState::Yes;
                return Command(agree, option);
        }
    }
    switch (state) {
        case OptionState::Yes:
            state = OptionState::No;
            return Command(refuse, option);
        case OptionState::WantYes:
            state = OptionState::Refused;
            return {};
        case OptionState::No:
        case OptionState::Refused:
            return {};
    }
    return {};
}

bool TelnetNegotiation::localEnabled(uint8_t option) const {
    return local_[option] == OptionState::Yes;
}

bool TelnetNegotiation::localRefused(uint8_t option) const {
    return local_[option] == OptionState::Refused || local_[option] == OptionState::No;
}

bool TelnetNegotiation::remoteEnabled(uint8_t option) const {
    return remote_[option] == OptionState::Yes;
}
