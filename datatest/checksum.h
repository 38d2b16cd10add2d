#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

// Checksums a send may carry after its bytes. Each is computed over the bytes of the send and
// appended in the byte order the protocols that use it send it in.
enum class Checksum {
    None,
    // The radio's frame sum: 16 bits, high byte first. A send that starts with the frame header
    // 55 AA is summed from its third byte on, as a frame is, so that a frame can be typed in.
    RadioSum16,
    // Reflected, polynomial 0x8005, initial 0xFFFF; low byte first, as Modbus RTU sends it.
    Crc16Modbus,
    // Polynomial 0x1021, initial 0xFFFF, not reflected; high byte first.
    Crc16CcittFalse,
    // Reflected, polynomial 0x04C11DB7, initial and final XOR 0xFFFFFFFF; low byte first, as
    // Ethernet and zip append it.
    Crc32,
    // The XOR of all bytes; one byte.
    Xor8,
};

inline constexpr Checksum AllChecksums[] = {Checksum::None,        Checksum::RadioSum16,
                                            Checksum::Crc16Modbus, Checksum::Crc16CcittFalse,
                                            Checksum::Crc32,       Checksum::Xor8};

uint16_t Crc16Modbus(QByteArrayView bytes);
uint16_t Crc16CcittFalse(QByteArrayView bytes);
uint32_t Crc32(QByteArrayView bytes);
uint8_t Xor8(QByteArrayView bytes);
// The radio's frame sum of a send, header left out as described above.
uint16_t RadioSum16(QByteArrayView bytes);

// The bytes that follow the send on the wire; none for Checksum::None.
QByteArray ChecksumBytes(Checksum checksum, QByteArrayView bytes);

// The name a checksum has in a saved file, and back; nullopt for a name no checksum has.
QString ChecksumKey(Checksum checksum);
std::optional<Checksum> ChecksumFromKey(const QString& key);
