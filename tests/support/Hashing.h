#pragma once

// SHA-256 of pictures, to compare frames with the corpus's expected hashes.

#include <openssl/sha.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/coremedia/PixelBuffer.h"

namespace velarium::testing {

inline std::string sha256Hex(const std::uint8_t* data, std::size_t length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(data, length, digest);
    std::string hex;
    for (unsigned char b : digest) hex += {kDigits[b >> 4], kDigits[b & 0xF]};
    return hex;
}

inline std::string sha256Hex(const std::vector<std::uint8_t>& bytes) { return sha256Hex(bytes.data(), bytes.size()); }

// The pixels of a BGRA pixel buffer with the row padding left out.
inline std::vector<std::uint8_t> packedPixels(PixelBuffer& buffer) {
    const std::size_t rowLength = buffer.width() * 4;
    std::vector<std::uint8_t> out(rowLength * buffer.height());
    buffer.lockBaseAddress(kCVPixelBufferLock_ReadOnly);
    const std::uint8_t* base = buffer.baseAddress();
    for (std::size_t row = 0; row < buffer.height(); ++row)
        std::copy(base + row * buffer.bytesPerRow(), base + row * buffer.bytesPerRow() + rowLength,
                  out.begin() + row * rowLength);
    buffer.unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
    return out;
}

}  // namespace velarium::testing
