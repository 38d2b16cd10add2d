#include "radio/frame.h"

bool CheckFrame(const uint8_t* buffer, size_t received, uint8_t first, uint8_t second) {
    if (received < 3 || buffer[0] != first || buffer[1] != second) return false;
    const unsigned length = buffer[2];
    if (length < MinReplyLength || length > MaxReplyLength) return false;
    if (received < length + 4u) return false;
    return FrameSum(buffer + 2, length) == (buffer[length + 2] << 8 | buffer[length + 3]);
}

void SetChecksum(uint8_t* frame) {
    const unsigned length = frame[2];
    const uint16_t sum = FrameSum(frame + 2, length);
    frame[length + 2] = static_cast<uint8_t>(sum >> 8);
    frame[length + 3] = static_cast<uint8_t>(sum);
}

uint16_t FrameSum(const uint8_t* bytes, size_t n) {
    uint16_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum = static_cast<uint16_t>(sum + bytes[i]);
    return sum;
}

bool IsWriteAck(const uint8_t* buffer, size_t received) {
    if (received < sizeof WriteAck) return false;
    for (size_t i = 0; i < sizeof WriteAck; ++i) {
        if (buffer[i] != WriteAck[i]) return false;
    }
    return true;
}

char HexDigit(uint8_t value) {
    return static_cast<char>(value < 10 ? '0' + value : 'A' + value - 10);
}

int BytesToHex(const uint8_t* bytes, int n, char* out) {
    for (int i = 0; i < n; ++i) {
        out[3 * i] = HexDigit(bytes[i] >> 4);
        out[3 * i + 1] = HexDigit(bytes[i] & 0x0F);
        out[3 * i + 2] = ' ';
    }
    out[3 * n] = '\0';
    return 3 * n;
}

uint8_t HexToByte(std::string_view text) {
    uint8_t acc = 0;
    for (const char ch : text) {
        const auto c = static_cast<uint8_t>(ch);
        uint8_t digit = c;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        acc = static_cast<uint8_t>(acc * 16 + digit);
    }
    return acc;
}
