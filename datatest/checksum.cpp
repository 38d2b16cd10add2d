#include "datatest/checksum.h"

#include "radio/frame.h"

namespace {

const uint8_t* Data(QByteArrayView bytes) {
    return reinterpret_cast<const uint8_t*>(bytes.data());
}

QByteArray HighByteFirst(uint32_t value, int size) {
    QByteArray out(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) out[i] = static_cast<char>(value >> (8 * (size - 1 - i)));
    return out;
}

QByteArray LowByteFirst(uint32_t value, int size) {
    QByteArray out(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) out[i] = static_cast<char>(value >> (8 * i));
    return out;
}

struct KeyName {
    Checksum checksum;
    const char* key;
};

constexpr KeyName Keys[] = {
    {Checksum::None, "none"},
    {Checksum::RadioSum16, "radio-sum16"},
    {Checksum::Crc16Modbus, "crc16-modbus"},
    {Checksum::Crc16CcittFalse, "crc16-ccitt-false"},
    {Checksum::Crc32, "crc32"},
    {Checksum::Xor8, "xor8"},
};

}  // namespace

uint16_t Crc16Modbus(QByteArrayView bytes) {
    uint16_t crc = 0xFFFF;
    for (const char byte : bytes) {
        crc ^= static_cast<uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

uint16_t Crc16CcittFalse(QByteArrayView bytes) {
    uint16_t crc = 0xFFFF;
    for (const char byte : bytes) {
        crc ^= static_cast<uint16_t>(static_cast<uint8_t>(byte) << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

uint32_t Crc32(QByteArrayView bytes) {
    uint32_t crc = 0xFFFFFFFF;
    for (const char byte : bytes) {
        crc ^= static_cast<uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
    }
    return ~crc;
}

uint8_t Xor8(QByteArrayView bytes) {
    uint8_t x = 0;
    for (const char byte : bytes) x ^= static_cast<uint8_t>(byte);
    return x;
}

uint16_t RadioSum16(QByteArrayView bytes) {
    const bool framed = bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == FrameHeader1 &&
                        static_cast<uint8_t>(bytes[1]) == FrameHeader2;
    const QByteArrayView summed = framed ? bytes.sliced(2) : bytes;
    return FrameSum(Data(summed), static_cast<size_t>(summed.size()));
}

QByteArray ChecksumBytes(Checksum checksum, QByteArrayView bytes) {
    switch (checksum) {
        case Checksum::None:
            return {};
        case Checksum::RadioSum16:
            return HighByteFirst(RadioSum16(bytes), 2);
        case Checksum::Crc16Modbus:
            return LowByteFirst(Crc16Modbus(bytes), 2);
        case Checksum::Crc16CcittFalse:
            return HighByteFirst(Crc16CcittFalse(bytes), 2);
        case Checksum::Crc32:
            return LowByteFirst(Crc32(bytes), 4);
        case Checksum::Xor8:
            return HighByteFirst(Xor8(bytes), 1);
    }
    return {};
}

QString ChecksumKey(Checksum checksum) {
    for (const KeyName& entry : Keys) {
        if (entry.checksum == checksum) return QString::fromLatin1(entry.key);
    }
    return {};
}

std::optional<Checksum> ChecksumFromKey(const QString& key) {
    for (const KeyName& entry : Keys) {
        if (key == QLatin1String(entry.key)) return entry.checksum;
    }
    return std::nullopt;
}
