#pragma once

#include <cstdint>
#include <vector>

namespace velarium::exporter {

// A picture reduced to a colour map: one index per pixel, rows packed.
struct IndexedPicture {
    std::vector<std::uint8_t> indices;
    std::vector<std::uint32_t> colours;  // R, G, B from the low byte up, as RGBA bytes read as a little-endian word
};

// Reduces a width × height region of an RGBA picture (rows `stride` bytes
// apart; alpha ignored) to at most `maxColours` colours, with error diffusion
// so that gradients keep their mean. Leptonica's octree does the work.
bool quantise(const std::uint8_t* rgba, std::size_t stride, std::uint32_t width, std::uint32_t height,
              unsigned maxColours, IndexedPicture* out);

}  // namespace velarium::exporter
