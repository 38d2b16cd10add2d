// HexToByte against its defining property: only the last two characters count, each a hex
// digit's value or else its own code.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "radio/frame.h"

namespace {
unsigned CharValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c;
}

uint8_t Reference(std::string_view text) {
    if (text.empty()) return 0;
    const unsigned last = CharValue(text.back());
    if (text.size() == 1) return static_cast<uint8_t>(last);
    return static_cast<uint8_t>(CharValue(text[text.size() - 2]) * 16 + last);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (HexToByte(text) != Reference(text)) abort();
    return 0;
}
