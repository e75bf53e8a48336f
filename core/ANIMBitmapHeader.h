#pragma once

#include <cstdint>

namespace velarium {

// The BMHD chunk of the first ILBM: picture geometry and BODY encoding,
// in host byte order. All zero until a BMHD has been read.
struct ANIMBitmapHeader {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::int16_t xOrigin = 0;
    std::int16_t yOrigin = 0;
    std::uint8_t numPlanes = 0;
    std::uint8_t masking = 0;
    std::uint8_t compression = 0;
    std::uint8_t pad1 = 0;
    std::uint16_t transparentColor = 0;
    std::uint8_t xAspect = 0;
    std::uint8_t yAspect = 0;
    std::int16_t pageWidth = 0;
    std::int16_t pageHeight = 0;

    static constexpr std::uint32_t kChunkSize = 20;

    // Reads the 20 big-endian bytes of a BMHD chunk.
    static ANIMBitmapHeader fromChunk(const std::uint8_t* data);
};

// BMHD masking values that change the BODY layout.
constexpr std::uint8_t kMaskingHasMask = 1;  // an extra mask row after each row's planes
constexpr std::uint8_t kMaskingHasTransparentColor = 2;  // transparentColor marks the background

// BMHD compression values.
constexpr std::uint8_t kCompressionNone = 0;
constexpr std::uint8_t kCompressionByteRun1 = 1;

}  // namespace velarium
