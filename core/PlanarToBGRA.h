#pragma once

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

// Converts a planar bitmap into a packed BGRA frame (width × 4 bytes per row,
// alpha 255) through a 256-entry palette built from raw CMAP bytes (null or
// empty: all black). Writes exactly width × height × 4 bytes at `destination`.
void convertPlanarToBGRA(const std::uint8_t* planar, const PlanarGeometry& geometry, ColourMode mode,
                         const std::uint8_t* colorMap, std::size_t colorMapLength, std::uint8_t* destination);

}  // namespace velarium
