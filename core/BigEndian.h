#pragma once

#include <cstdint>

namespace velarium {

// Reads of big-endian numbers from bytes the caller has already bounds-checked.
inline std::uint16_t readU16BE(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

inline std::uint32_t readU32BE(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// A four-character IFF chunk identifier as a number, for switch statements.
constexpr std::uint32_t fourCC(const char (&id)[5]) {
    return (std::uint32_t(std::uint8_t(id[0])) << 24) | (std::uint32_t(std::uint8_t(id[1])) << 16) |
           (std::uint32_t(std::uint8_t(id[2])) << 8) | std::uint32_t(std::uint8_t(id[3]));
}

}  // namespace velarium
