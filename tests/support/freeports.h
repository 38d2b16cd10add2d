#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <memory>
#include <vector>

// TCP ports of a local address that nothing listens on now, all different.
inline std::vector<uint16_t> FreeLocalPorts(size_t count,
                                            const QHostAddress& host = QHostAddress::LocalHost) {
    std::vector<std::unique_ptr<QTcpServer>> held;
    std::vector<uint16_t> ports;
    for (size_t i = 0; i < count; ++i) {
        held.push_back(std::make_unique<QTcpServer>());
        if (!held.back()->listen(host, 0)) break;
        ports.push_back(held.back()->serverPort());
    }
    return ports;
}
