#include "core/PlanarToBGRA.h"

#include <algorithm>
#include <array>
#include <bit>
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

// Eight register indices, pixel i (from the left) in byte i.
using IndexBytes = std::array<std::uint8_t, 8>;

// kSpread[b] holds the 8 bits of b as 8 bytes of value 0 or 1 in pixel
// order (bit 7 first): shifting it left by p and OR-ing over the planes
// builds eight register indices at once. The bytes never carry into each
// other, so this holds whatever the host's byte order.
struct SpreadTable {
    std::array<std::uint64_t, 256> spread{};
    constexpr SpreadTable() {
        for (unsigned b = 0; b < 256; ++b) {
            IndexBytes bits{};
            for (unsigned i = 0; i < 8; ++i) bits[i] = (b >> (7 - i)) & 1;
            spread[b] = std::bit_cast<std::uint64_t>(bits);
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

// Eight register indices, one per byte, of the pixels of one byte column:
// `column` points at the column's byte in plane 0's row.
template <std::size_t Planes>
inline IndexBytes gatherIndices(const std::uint8_t* column, std::size_t planeSize) {
    std::uint64_t indices = 0;
    for (std::size_t plane = 0; plane < Planes; ++plane)
        indices |= kSpread.spread[column[plane * planeSize]] << plane;
    return std::bit_cast<IndexBytes>(indices);
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

// The plane count is a template argument so that the gather unrolls fully.
template <std::size_t Planes>
void convertIndexed(const std::uint8_t* planar, const PlanarGeometry& g, const Palette& palette,
                    std::uint8_t* destination) {
    // Local copies: stores through the byte destination may alias anything.
    const std::size_t width = g.width, rowBytes = g.rowBytes, planeSize = g.planeSize;
    const std::size_t wholeColumns = width / 8;
    const std::size_t tail = width % 8;
    const std::uint32_t* colours = palette.data();
    if constexpr (Planes == 0) {
        // Every pixel shows register 0; the (empty) buffer is never read.
        for (std::size_t i = 0; i < width * g.height; ++i) storePixel(destination + 4 * i, colours[0]);
        return;
    }
    for (std::size_t y = 0; y < g.height; ++y) {
        const std::uint8_t* row = planar + y * rowBytes;
        std::uint8_t* out = destination + y * width * 4;
        for (std::size_t column = 0; column < wholeColumns; ++column, out += 32) {
            const IndexBytes indices = gatherIndices<Planes>(row + column, planeSize);
            for (unsigned i = 0; i < 8; ++i) storePixel(out + 4 * i, colours[indices[i]]);
        }
        if (tail) {
            const IndexBytes indices = gatherIndices<Planes>(row + wholeColumns, planeSize);
            for (unsigned i = 0; i < tail; ++i) storePixel(out + 4 * i, colours[indices[i]]);
        }
    }
}

// What one HAM register index does to the held colour: keep some of its
// bits and set others. A palette index keeps nothing; a modify index keeps
// alpha and two components and sets the third.
struct HamStep {
    std::uint32_t keep = 0;
    std::uint32_t set = 0;
};
using HamSteps = std::array<HamStep, kPaletteSize>;

HamSteps buildHamSteps(const Palette& palette, unsigned planes) {
    const unsigned modifyBits = planes - kHamControlBits;
    const unsigned modifyMask = (1u << modifyBits) - 1;
    HamSteps steps{};
    for (unsigned index = 0; index < (1u << planes); ++index) {
        const unsigned v = index & modifyMask;
        // The 8-bit component a modify value stands for: its bits repeated downwards.
        const unsigned t = v << (10 - planes);
        const std::uint32_t k = (t | ((t & 0xFF) >> modifyBits)) & 0xFF;
        HamStep& step = steps[index];
        switch ((index >> modifyBits) & 3) {
            case kHamPalette: step = {0, palette[v] | kOpaque}; break;
            case kHamBlue: step = {0xFFFFFF00u, k}; break;
            case kHamRed: step = {0xFF00FFFFu, k << 16}; break;
            case kHamGreen: step = {0xFFFF00FFu, k << 8}; break;
        }
    }
    return steps;
}

// Writes `count` pixels of one byte column, each the held colour after its
// step; returns the colour held after the last.
inline std::uint32_t holdAndModifyColumn(const IndexBytes& indices, std::size_t count, const HamSteps& steps,
                                         std::uint32_t held, std::uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i) {
        const HamStep& step = steps[indices[i]];
        held = (held & step.keep) | step.set;
        storePixel(out + 4 * i, held);
    }
    return held;
}

template <std::size_t Planes>
void convertHam(const std::uint8_t* planar, const PlanarGeometry& g, const Palette& palette,
                std::uint8_t* destination) {
    const HamSteps steps = buildHamSteps(palette, Planes);
    const std::size_t width = g.width, rowBytes = g.rowBytes, planeSize = g.planeSize;
    const std::size_t wholeColumns = width / 8;
    const std::size_t tail = width % 8;
    for (std::size_t y = 0; y < g.height; ++y) {
        const std::uint8_t* row = planar + y * rowBytes;
        std::uint8_t* out = destination + y * width * 4;
        std::uint32_t held = palette[0] | kOpaque;  // the hold colour restarts on every row
        for (std::size_t column = 0; column < wholeColumns; ++column, out += 32)
            held = holdAndModifyColumn(gatherIndices<Planes>(row + column, planeSize), 8, steps, held, out);
        if (tail) holdAndModifyColumn(gatherIndices<Planes>(row + wholeColumns, planeSize), tail, steps, held, out);
    }
}

using Converter = void (*)(const std::uint8_t*, const PlanarGeometry&, const Palette&, std::uint8_t*);

// By plane count, 0 to 8.
constexpr Converter kIndexedConverters[kMaxIndexPlanes + 1] = {
    convertIndexed<0>, convertIndexed<1>, convertIndexed<2>, convertIndexed<3>, convertIndexed<4>,
    convertIndexed<5>, convertIndexed<6>, convertIndexed<7>, convertIndexed<8>,
};
// By plane count less kHamMinPlanes: HAM6, HAM7, HAM8.
constexpr Converter kHamConverters[kMaxIndexPlanes - kHamMinPlanes + 1] = {
    convertHam<6>, convertHam<7>, convertHam<8>,
};

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
        kHamConverters[geometry.numPlanes - kHamMinPlanes](planar, geometry, palette, destination);
    else
        kIndexedConverters[std::min(geometry.numPlanes, kMaxIndexPlanes)](planar, geometry, palette, destination);
}

}  // namespace velarium
