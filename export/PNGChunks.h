#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace velarium::exporter {

// PNG's building blocks, appended to a byte vector: the signature, and
// chunks of a four-letter type and data with their length and CRC.
void appendPNGSignature(std::vector<std::uint8_t>& out);
void appendPNGChunk(std::vector<std::uint8_t>& out, std::string_view type, const std::uint8_t* data, std::size_t size);
inline void appendPNGChunk(std::vector<std::uint8_t>& out, std::string_view type, const std::vector<std::uint8_t>& data) {
    appendPNGChunk(out, type, data.data(), data.size());
}

// Big-endian fields, as every PNG chunk lays them out.
inline void appendU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.insert(out.end(), {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
                           std::uint8_t(value)});
}
inline void appendU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.insert(out.end(), {std::uint8_t(value >> 8), std::uint8_t(value)});
}

}  // namespace velarium::exporter
