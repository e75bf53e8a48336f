#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velarium {

// A four-character code ('ILBM', 'BGRA', 'vide') as a big-endian number.
using FourCharCode = std::uint32_t;

constexpr FourCharCode makeFourCharCode(const char (&code)[5]) {
    return (FourCharCode(std::uint8_t(code[0])) << 24) | (FourCharCode(std::uint8_t(code[1])) << 16) |
           (FourCharCode(std::uint8_t(code[2])) << 8) | FourCharCode(std::uint8_t(code[3]));
}

// The code as four characters; bytes that are not printable ASCII appear as '?'.
inline std::string fourCharCodeString(FourCharCode code) {
    std::string text(4, '?');
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
        if (c >= 0x20 && c < 0x7F) text[i] = c;
    }
    return text;
}

// Reads exactly four characters back into a code.
inline std::optional<FourCharCode> parseFourCharCode(std::string_view text) {
    if (text.size() != 4) return std::nullopt;
    FourCharCode code = 0;
    for (char c : text) code = (code << 8) | std::uint8_t(c);
    return code;
}

}  // namespace velarium
