#pragma once

// The factory test commands and the small conversions of their replies. No widgets here.

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include <cstddef>

// Room for the largest test frame (a register write, length byte 4).
inline constexpr int TestFrameCapacity = 8;
using TestFrame = std::array<uint8_t, TestFrameCapacity>;

enum TestCommand {
    TransmitTest,
    EndTest,
    SensitivityFrequency,
    ReadFieldStrength,
    SetPowerLevel,
    ReadPowerLevel,
    ReadRegister,
    WriteRegister,
    TestCommandCount
};

// Each frame as stored: a zero parameter and its checksum. The checksum is computed again
// before every send, so frames given a parameter carry the right sum.
inline constexpr TestFrame TestFrameTable[TestCommandCount] = {
    {0x55, 0xAA, 0x03, 0x0D, 0x00, 0x00, 0x10},        // TransmitTest
    {0x55, 0xAA, 0x03, 0x0E, 0x00, 0x00, 0x11},        // EndTest
    {0x55, 0xAA, 0x03, 0x0C, 0x00, 0x00, 0x0F},        // SensitivityFrequency
    {0x55, 0xAA, 0x03, 0x11, 0x00, 0x00, 0x14},        // ReadFieldStrength
    {0x55, 0xAA, 0x03, 0x12, 0x00, 0x00, 0x15},        // SetPowerLevel: byte 4 = level
    {0x55, 0xAA, 0x03, 0x13, 0x00, 0x00, 0x16},        // ReadPowerLevel
    {0x55, 0xAA, 0x03, 0x99, 0x00, 0x00, 0x9C},        // ReadRegister: byte 4 = register
    {0x55, 0xAA, 0x04, 0x88, 0x00, 0x00, 0x00, 0x8C},  // WriteRegister: byte 4 = register,
                                                       // byte 5 = value
};

// A single exchange takes at most this many reply bytes; more are discarded unread.
inline constexpr uint32_t MaxTestReply = 20;
// The register dump: registers 0 to 32, at most this many reply bytes each.
inline constexpr int DumpRegisterCount = 33;
inline constexpr uint32_t MaxDumpReply = 100;

// The power level the list offers at `index` (no selection: -1 gives level 0).
int8_t PowerLevelForIndex(int index);
inline constexpr int8_t MaxPowerLevel = 10;

// "-" and three decimal digits: 7 gives -007, 120 gives -120.
QString FieldStrengthText(uint8_t value);

// The character 48 + result (mod 256): the digit itself for 0 to 9; 208 gives no character.
QString PowerLevelText(uint8_t result);

// Two upper-case digits and a space per register; "--" for a register without a valid reply.
QString DumpText(const std::array<std::optional<uint8_t>, DumpRegisterCount>& values);

// How long an exchange waits for its reply at most: `waitFactor` x 50 ms (150 to 600 ms),
// many times what a request and its reply take on the wire at the factor's rate.
constexpr int ReplyTimeoutMs(uint8_t waitFactor) {
    return waitFactor * 50;
}

// The bytes start with a frame whose length byte says it has all arrived.
bool ReplyComplete(const uint8_t* bytes, size_t count);
