#include "serial/porturl.h"

#include <QHostAddress>
#include <QStringList>
#include <QStringView>
#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<QLatin1StringView, PortProtocol>, 2> kSchemes{{
    {QLatin1StringView("rfc2217://"), PortProtocol::Rfc2217},
    {QLatin1StringView("socket://"), PortProtocol::RawTcp},
}};

constexpr qsizetype kMaxHostNameLength = 253;
constexpr qsizetype kMaxLabelLength = 63;

bool IsAsciiAlphanumeric(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// A DNS name of letters, digits and inner hyphens; one of digits and dots alone must be a
// dotted IPv4 address, so that "300.1.1.1" is refused instead of looked up.
bool IsValidHostName(QStringView host) {
    if (host.isEmpty() || host.size() > kMaxHostNameLength) return false;
    bool digitsAndDotsOnly = true;
    for (QStringView label : host.split(u'.')) {
        if (label.isEmpty() || label.size() > kMaxLabelLength) return false;
        if (label.front() == u'-' || label.back() == u'-') return false;
        for (QChar c : label) {
            if (!IsAsciiAlphanumeric(c) && c != u'-') return false;
            if (!c.isDigit()) digitsAndDotsOnly = false;
        }
    }
    if (!digitsAndDotsOnly) return true;
    QHostAddress address;
    return address.setAddress(host.toString()) &&
           address.protocol() == QAbstractSocket::IPv4Protocol;
}

// Hex digits, colons and dots (an embedded IPv4 address), then perhaps "%" and a zone of
// letters, digits, "-" and "_" ("fe80::1%eth0"), as the system's address parser checks them.
bool IsValidIpv6Literal(QStringView literal) {
    const qsizetype percent = literal.indexOf(u'%');
    const QStringView address = percent < 0 ? literal : literal.first(percent);
    for (QChar c : address) {
        if (!IsAsciiAlphanumeric(c) && c != u':' && c != u'.') return false;
    }
    if (percent >= 0) {
        const QStringView zone = literal.mid(percent + 1);
        if (zone.isEmpty()) return false;
        for (QChar c : zone) {
            if (!IsAsciiAlphanumeric(c) && c != u'-' && c != u'_') return false;
        }
    }
    QHostAddress parsed;
    return parsed.setAddress(literal.toString()) &&
           parsed.protocol() == QAbstractSocket::IPv6Protocol;
}

// 1 to 65535, decimal, without sign or leading zeros.
std::optional<uint16_t> ParsePortNumber(QStringView text) {
    if (text.isEmpty() || text.size() > 5 || text.front() == u'0') return std::nullopt;
    uint32_t value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c.unicode() - u'0');
    }
    if (value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

}  // namespace

bool IsNetworkPortName(const QString& name) {
    for (const auto& [scheme, protocol] : kSchemes) {
        if (name.startsWith(scheme, Qt::CaseInsensitive)) return true;
    }
    return false;
}

std::optional<PortUrl> ParsePortUrl(const QString& name) {
    for (const auto& [scheme, protocol] : kSchemes) {
        if (!name.startsWith(scheme, Qt::CaseInsensitive)) continue;
        const QStringView rest = QStringView(name).mid(scheme.size());
        QStringView host;
        QStringView portText;
        if (rest.startsWith(u'[')) {
            const qsizetype close = rest.indexOf(u']');
            if (close < 0 || rest.mid(close + 1, 1) != u":") return std::nullopt;
            host = rest.mid(1, close - 1);
            if (!IsValidIpv6Literal(host)) return std::nullopt;
            portText = rest.mid(close + 2);
        } else {
            const qsizetype colon = rest.indexOf(u':');
            if (colon < 0) return std::nullopt;
            host = rest.first(colon);
            if (!IsValidHostName(host)) return std::nullopt;
            portText = rest.mid(colon + 1);
        }
        const std::optional<uint16_t> port = ParsePortNumber(portText);
        if (!port) return std::nullopt;
        return PortUrl{protocol, host.toString(), *port};
    }
    return std::nullopt;
}
