#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// A serial port on another machine, behind a network serial server, named as other serial tools
// name it: "rfc2217://HOST:PORT" (telnet with the COM port option, whose line settings the
// program sets) or "socket://HOST:PORT" (plain TCP, whose line settings are the server's).
// An IPv6 host is written in brackets: "rfc2217://[::1]:2000".
enum class PortProtocol { Rfc2217, RawTcp };

struct PortUrl {
    PortProtocol protocol = PortProtocol::Rfc2217;
    QString host;  // a name or an address, without brackets
    uint16_t port = 0;
    friend bool operator==(const PortUrl&, const PortUrl&) = default;
};

// The name starts with one of the network schemes, whether or not the rest is valid.
bool IsNetworkPortName(const QString& name);

// The network port a name stands for; none when it is not one, or anything in it is not exactly
// as it must be (no path, options, user, spaces, or leading zeros in the port number).
std::optional<PortUrl> ParsePortUrl(const QString& name);
