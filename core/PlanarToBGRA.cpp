#include "core/PlanarToBGRA.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace velarium {
namespace {

constexpr std::size_t kPaletteSize = 256;
constexpr std::size_t kMaxIndexPlanes = 8;       // a register index has 8 bits
constexpr std::size_t kEhbRegisters = 32;        // registers 32..63 are halved copies of 0..31
constexpr std::size_t kEhbFullMapBytes = 99;     // a map this long already holds 33+ colours
constexpr std::size_t kHamMinPlanes = 6;
constexpr std::size_t kHamControlBits = 2;
constexpr std::uint32_t kOpaque = 0xFF000000u;

enum HamControl : unsigned { kHamPalette = 0, kHamBlue = 1, kHamRed = 2, kHamGreen = 3 };

using Palette = std::array<std::uint32_t, kPaletteSize>;

// kSpread[b] holds the 8 bits of b as 8 bytes of value 0 or 1, leftmost
// pixel (bit 7) in the lowest byte: shifting it left by p and OR-ing over
// the planes builds eight register indices at once.
struct SpreadTable {
    std::array<std::uint64_t, 256> spread{};
    constexpr SpreadTable() {
        for (unsigned b = 0; b < 256; ++b) {
            std::uint64_t v = 0;
            for (unsigned i = 0; i < 8; ++i)
                if (b & (0x80u >> i)) v |= std::uint64_t(1) << (8 * i);
            spread[b] = v;
        }
    }
};
constexpr SpreadTable kSpread;

Palette buildPalette(const std::uint8_t* colorMap, std::size_t length, bool ehb) {
    Palette palette{};
    const std::size_t registers = colorMap ? std::min(length / 3, kPaletteSize) : 0;
    for (std::size_t i = 0; i < registers; ++i) {
        const std::uint8_t* rgb = colorMap + 3 * i;
        palette[i] = kOpaque | (std::uint32_t(rgb[0]) << 16) | (std::uint32_t(rgb[1]) << 8) | rgb[2];
    }
    // Extra half-brite: a map of up to 32 colours gets its halved copies.
    if (ehb && colorMap && length >= 3 && length < kEhbFullMapBytes) {
        for (std::size_t i = 0; i < std::min(registers, kEhbRegisters); ++i)
            palette[kEhbRegisters + i] = kOpaque | ((palette[i] >> 1) & 0x7F7F7Fu);
    }
    return palette;
}

// Eight register indices of the pixels of byte column `column` of row `row`.
inline std::uint64_t gatherIndices(const std::uint8_t* planar, const PlanarGeometry& g, std::size_t planes,
                                   std::size_t row, std::size_t column) {
    const std::uint8_t* p = planar + row * g.rowBytes + column;
    std::uint64_t indices = 0;
    for (std::size_t plane = 0; plane < planes; ++plane, p += g.planeSize)
        indices |= kSpread.spread[*p] << plane;
    return indices;
}

inline void storePixel(std::uint8_t* out, std::uint32_t bgra) {
    // Little-endian hosts lay the palette word out as B, G, R, A.
    if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) {
        std::memcpy(out, &bgra, 4);
    } else {
        out[0] = std::uint8_t(bgra);
        out[1] = std::uint8_t(bgra >> 8);
        out[2] = std::uint8_t(bgra >> 16);
        out[3] = std::uint8_t(bgra >> 24);
    }
}

void convertIndexed(const std::uint8_t* planar, const PlanarGeometry& g, const Palette& palette,
                    std::uint8_t* destination) {
    const std::size_t planes = std::min(g.numPlanes, kMaxIndexPlanes);
    const std::size_t wholeColumns = g.width / 8;
    const std::size_t tail = g.width % 8;
    for (std::size_t y = 0; y < g.height; ++y) {
        std::uint8_t* out = destination + y * g.width * 4;
        for (std::size_t column = 0; column < wholeColumns; ++column, out += 32) {
            const std::uint64_t indices = gatherIndices(planar, g, planes, y, column);
            for (unsigned i = 0; i < 8; ++i) storePixel(out + 4 * i, palette[(indices >> (8 * i)) & 0xFF]);
        }
        if (tail) {
            const std::uint64_t indices = gatherIndices(planar, g, planes, y, wholeColumns);
            for (unsigned i = 0; i < tail; ++i) storePixel(out + 4 * i, palette[(indices >> (8 * i)) & 0xFF]);
        }
    }
}

void convertHam(const std::uint8_t* planar, const PlanarGeometry& g, const Palette& palette,
                std::uint8_t* destination) {
    const unsigned planes = static_cast<unsigned>(g.numPlanes);
    const unsigned modifyBits = planes - kHamControlBits;
    const unsigned modifyMask = (1u << modifyBits) - 1;

    // The 8-bit component a modify value stands for: its bits repeated downwards.
    std::array<std::uint32_t, 64> component{};
    for (unsigned v = 0; v <= modifyMask; ++v) {
        const unsigned t = v << (10 - planes);
        component[v] = (t | ((t & 0xFF) >> modifyBits)) & 0xFF;
    }

    for (std::size_t y = 0; y < g.height; ++y) {
        std::uint8_t* out = destination + y * g.width * 4;
        std::uint32_t held = palette[0] | kOpaque;  // the hold colour restarts on every row
        for (std::size_t column = 0; column * 8 < g.width; ++column) {
            const std::uint64_t indices = gatherIndices(planar, g, planes, y, column);
            const std::size_t count = std::min<std::size_t>(8, g.width - column * 8);
            for (std::size_t i = 0; i < count; ++i) {
                const unsigned index = (indices >> (8 * i)) & 0xFF;
                const unsigned v = index & modifyMask;
                const std::uint32_t k = component[v];
                switch ((index >> modifyBits) & 3) {
                    case kHamPalette: held = palette[v] | kOpaque; break;
                    case kHamBlue: held = (held & 0xFFFFFF00u) | k; break;
                    case kHamRed: held = (held & 0xFF00FFFFu) | (k << 16); break;
                    case kHamGreen: held = (held & 0xFFFF00FFu) | (k << 8); break;
                }
                storePixel(out + 4 * (column * 8 + i), held);
            }
        }
    }
}

}  // namespace

void convertPlanarToBGRA(const std::uint8_t* planar, const PlanarGeometry& geometry, ColourMode mode,
                         const std::uint8_t* colorMap, std::size_t colorMapLength, std::uint8_t* destination) {
    Palette palette = buildPalette(colorMap, colorMapLength, mode.ehb);
    // Unfilled entries are black; alpha is always opaque in the output.
    for (auto& entry : palette) entry |= kOpaque;
    // A brush's background register keeps its colour but lets what lies
    // beneath show through.
    if (mode.transparentColor >= 0 && mode.transparentColor < static_cast<int>(kPaletteSize))
        palette[static_cast<std::size_t>(mode.transparentColor)] &= ~kOpaque;
    // HAM needs 6 to 8 planes; other plane counts convert through the palette.
    if (mode.ham && geometry.numPlanes >= kHamMinPlanes && geometry.numPlanes <= kMaxIndexPlanes)
        convertHam(planar, geometry, palette, destination);
    else
        convertIndexed(planar, geometry, palette, destination);
}

}  // namespace velarium
