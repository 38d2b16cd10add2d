#pragma once

#include <QByteArray>
#include <cstdint>

#include "serial/linkobserver.h"

// "55 AA 03" as its bytes.
inline QByteArray Hex(const QByteArray& text) {
    return QByteArray::fromHex(text);
}
inline const uint8_t* Bytes(const QByteArray& a) {
    return reinterpret_cast<const uint8_t*>(a.constData());
}
inline QByteArray Raw(const uint8_t* bytes, int n) {
    return QByteArray(reinterpret_cast<const char*>(bytes), n);
}
// 00 01 ... FF.
inline QByteArray AllByteValues() {
    QByteArray bytes;
    for (int value = 0; value < 256; ++value) bytes.append(char(value));
    return bytes;
}

// The observer sees `bytes` go through the link.
inline void Pass(LinkObserver& observer, LinkTraffic what, const QByteArray& bytes,
                 int64_t timeUs) {
    observer.linkTraffic(what, Bytes(bytes), static_cast<uint32_t>(bytes.size()), timeUs);
}
