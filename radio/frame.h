#pragma once

// Command frames of the radio protocol: 55 AA, length byte L, code byte, L-2 data bytes, then
// the 16-bit big-endian sum of the L bytes from the length byte on. Pure functions and
// constant tables; nothing here holds state.

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr uint8_t FrameHeader1 = 0x55;
inline constexpr uint8_t FrameHeader2 = 0xAA;
inline constexpr int MinReplyLength = 3;   // smallest length byte a reply may carry
inline constexpr int MaxReplyLength = 29;  // largest length byte a reply may carry
inline constexpr int MaxFrameSize = MaxReplyLength + 4;

// Total size of a frame whose length byte is `lengthByte`.
constexpr int FrameSize(uint8_t lengthByte) {
    return lengthByte + 4;
}

// True when the `received` bytes at `buffer` start with a valid frame. A frame whose length
// byte announces more bytes than were received is invalid: nothing past them is read.
bool CheckFrame(const uint8_t* buffer, size_t received, uint8_t first = FrameHeader1,
                uint8_t second = FrameHeader2);

// Stores the checksum of the frame after its data; the frame must hold frame[2] + 4 bytes.
void SetChecksum(uint8_t* frame);

// The frames' checksum: the sum of the bytes, kept to 16 bits; a frame sends it high byte first.
uint16_t FrameSum(const uint8_t* bytes, size_t n);

inline constexpr uint8_t WriteAck[6] = {0x55, 0xAA, 0x02, 0x20, 0x00, 0x22};

// True when the first six of the `received` bytes are the write acknowledgement.
bool IsWriteAck(const uint8_t* buffer, size_t received);

// '0'..'9', 'A'..'F' for 0..15.
char HexDigit(uint8_t value);

// Writes each byte as two upper-case digits and a space, then a terminating zero; `out` must
// hold 3 * n + 1 characters. Returns 3 * n.
int BytesToHex(const uint8_t* bytes, int n, char* out);

// The value of the last two hexadecimal digits of `text`; a character that is not a hex
// digit is shifted in with its own code, as the radio's tools have always done.
uint8_t HexToByte(std::string_view text);

inline constexpr int32_t ReadStepCount = 4;
inline constexpr int32_t WriteStepCount = 4;

// Read requests, one 8-byte slot per step: a complete 7-byte frame and a pad byte. Slot 0 is
// also the connect probe.
inline constexpr uint8_t ReadCmdTable[ReadStepCount][8] = {
    {0x55, 0xAA, 0x03, 0x10, 0x00, 0x00, 0x13, 0x00},  // ReadModelVer
    {0x55, 0xAA, 0x03, 0x04, 0x00, 0x00, 0x07, 0x00},  // ReadAirBaud
    {0x55, 0xAA, 0x03, 0x08, 0x00, 0x00, 0x0B, 0x00},  // ReadChnn
    {0x55, 0xAA, 0x03, 0x0A, 0x00, 0x00, 0x0D, 0x00},  // ReadID
};
inline constexpr int ReadRequestSize = 7;

// Size of the reply to each read request.
inline constexpr uint32_t ReadReplyLen[ReadStepCount] = {8, 7, 7, 8};

// Write templates: header, length byte, code and a first data byte, completed at send time.
inline constexpr uint8_t WriteCmdTable[WriteStepCount][5] = {
    {0x55, 0xAA, 0x03, 0x03, 0x00},  // WriteAirBaud
    {0x55, 0xAA, 0x04, 0x09, 0x00},  // WriteID
    {0x55, 0xAA, 0x03, 0x07, 0x00},  // WriteChnn
    {0x55, 0xAA, 0x03, 0x0F, 0x00},  // WriteSerBaud
};
