#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/PlanarBitmap.h"

namespace velarium {

// Display modes that change how register indices become colours.
struct ColourMode {
    bool ham = false;  // hold-and-modify (used with 6 to 8 planes)
    bool ehb = false;  // extra half-brite
    // Register shown fully transparent (alpha 0) in palette pictures, or -1.
    int transparentColor = -1;
};

// The colour of each of the 256 registers as a BGRA word (0xAARRGGBB), alpha 255.
using ColourTable = std::array<std::uint32_t, 256>;

// The registers raw CMAP bytes set (null or empty: all black). Under extra
// half-brite, a map of up to 32 colours gets its halved copies in 32..63.
ColourTable makeColourTable(const std::uint8_t* colorMap, std::size_t colorMapLength, bool ehb);

// Converts a planar bitmap into a packed BGRA frame through a colour table;
// the mode's transparent register, if any, is made transparent here.
void convertPlanarToBGRA(const std::uint8_t* planar, const PlanarGeometry& geometry, ColourMode mode,
                         const ColourTable& colours, std::uint8_t* destination);

// Converts a planar bitmap into a packed BGRA frame (width × 4 bytes per row,
// alpha 255) through a 256-entry palette built from raw CMAP bytes (null or
// empty: all black). Writes exactly width × height × 4 bytes at `destination`.
void convertPlanarToBGRA(const std::uint8_t* planar, const PlanarGeometry& geometry, ColourMode mode,
                         const std::uint8_t* colorMap, std::size_t colorMapLength, std::uint8_t* destination);

}  // namespace velarium
