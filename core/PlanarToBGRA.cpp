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

using Palette = ColourTable;

// Pixels are gathered in groups of 16 byte columns: 128 pixels, 16 bytes of
// each plane, each plane's 16 bytes held in one 128-bit vector (two 64-bit
// lanes) so that every step of the transpose below works on all of them at
// once. GCC and Clang map the vector type onto SSE2 or NEON registers.
constexpr std::size_t kLaneBytes = sizeof(std::uint64_t);
constexpr std::size_t kLanes = 2;
constexpr std::size_t kGroupBytes = kLanes * kLaneBytes;
constexpr std::size_t kPixelsPerByte = 8;
constexpr std::size_t kGroupPixels = kGroupBytes * kPixelsPerByte;

// One word of the transpose: 16 bytes, one per byte column.
using GroupWord = std::uint64_t __attribute__((vector_size(kGroupBytes)));
using GroupWords = std::array<GroupWord, kMaxIndexPlanes>;

// The register indices of one group, as the transpose leaves them: the
// index of pixel 8c + k (c the byte column, k the bit from the left) is
// byte c of word 7 - k. The words are kept as 64-bit lanes and the bytes
// shifted out of them, which compilers keep in registers; a byte array
// filled from the vectors made GCC store every vector once per byte read.
struct IndexGroup {
    std::array<std::array<std::uint64_t, kMaxIndexPlanes>, kLanes> lanes;  // [lane][word]

    std::uint8_t at(std::size_t column, std::size_t bit) const {
        const std::size_t byte = column % kLaneBytes;
        // Byte c of a lane lies where memcpy put it: counted from the low end on little-endian hosts.
        const std::size_t shift =
            8 * (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? byte : kLaneBytes - 1 - byte);
        return static_cast<std::uint8_t>(lanes[column / kLaneBytes][7 - bit] >> shift);
    }
};

// One step of an 8 × 8 bit transpose done in every byte at once: for the
// word pairs (r, r + S), bit j + S of word r trades places with bit j of
// word r + S, for each j whose bit S is clear. `mask` marks those j in
// every byte.
template <unsigned S>
inline void swapBitBlocks(GroupWords& words, std::uint64_t mask) {
    for (unsigned r = 0; r < kMaxIndexPlanes; ++r) {
        if (r & S) continue;
        const GroupWord t = ((words[r] >> S) ^ words[r + S]) & mask;
        words[r + S] ^= t;
        words[r] ^= t << S;
    }
}

// Turns plane words into index words: afterwards bit p of byte c of word r
// is what bit r of byte c of plane p's word was, so byte c of word r is the
// register index of pixel 8c + 7 - r. The transpose works inside bytes, so
// the host's byte order does not matter.
inline IndexGroup transposeGroup(GroupWords words) {
    swapBitBlocks<4>(words, 0x0F0F0F0F0F0F0F0Full);
    swapBitBlocks<2>(words, 0x3333333333333333ull);
    swapBitBlocks<1>(words, 0x5555555555555555ull);
    IndexGroup group;
    for (std::size_t r = 0; r < kMaxIndexPlanes; ++r)
        for (std::size_t lane = 0; lane < kLanes; ++lane) group.lanes[lane][r] = words[r][lane];
    return group;
}

// Register indices of the 128 pixels of the 16 byte columns from `column`
// in plane 0's row; planes past `Planes` count as zero.
template <std::size_t Planes>
inline IndexGroup gatherGroup(const std::uint8_t* column, std::size_t planeSize) {
    GroupWords words{};
    for (std::size_t plane = 0; plane < Planes; ++plane)
        std::memcpy(&words[plane], column + plane * planeSize, kGroupBytes);
    return transposeGroup(words);
}

// The same from only `bytes` (fewer than 16) byte columns; the rest are 0.
template <std::size_t Planes>
inline IndexGroup gatherPartialGroup(const std::uint8_t* column, std::size_t planeSize, std::size_t bytes) {
    GroupWords words{};
    for (std::size_t plane = 0; plane < Planes; ++plane) std::memcpy(&words[plane], column + plane * planeSize, bytes);
    return transposeGroup(words);
}

// Gathers row y group by group, left to right, and hands each group to
// `use` with its first x and the number of its pixels inside the row. The
// last group reads whole 16-byte words where the plane goes on that far,
// even past the end of the row: those bytes feed only pixels that are
// never stored. Only at the very end of a plane are fewer bytes read.
template <std::size_t Planes, typename Use>
inline void forEachGroupInRow(const std::uint8_t* planar, const PlanarGeometry& g, std::size_t y, Use&& use) {
    const std::size_t width = g.width, planeSize = g.planeSize, rowStart = y * g.rowBytes;
    const std::size_t wholeGroups = width / kGroupPixels;
    for (std::size_t i = 0; i < wholeGroups; ++i)
        use(gatherGroup<Planes>(planar + rowStart + i * kGroupBytes, planeSize), i * kGroupPixels, kGroupPixels);
    const std::size_t x = wholeGroups * kGroupPixels;
    if (x == width) return;
    const std::size_t offset = rowStart + wholeGroups * kGroupBytes;
    const std::size_t available = planeSize - offset;
    use(available >= kGroupBytes ? gatherGroup<Planes>(planar + offset, planeSize)
                                 : gatherPartialGroup<Planes>(planar + offset, planeSize, available),
        x, width - x);
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

// Looks up the first `count` pixels of a group in the palette, a byte
// column at a time so that a column's eight lookups unroll. Unrolling the
// columns as well (a hint GCC and Clang both take) saves the loop's own
// instructions, several percent of the conversion.
inline void storeGroup(const IndexGroup& group, std::size_t count, const std::uint32_t* colours, std::uint8_t* out) {
    const std::size_t wholeColumns = count / kPixelsPerByte;
#pragma GCC unroll 16
    for (std::size_t c = 0; c < wholeColumns; ++c, out += 4 * kPixelsPerByte)
        for (std::size_t k = 0; k < kPixelsPerByte; ++k) storePixel(out + 4 * k, colours[group.at(c, k)]);
    for (std::size_t k = 0; k < count % kPixelsPerByte; ++k)
        storePixel(out + 4 * k, colours[group.at(wholeColumns, k)]);
}

// The plane count is a template argument so that the gather unrolls fully.
template <std::size_t Planes>
void convertIndexed(const std::uint8_t* planar, const PlanarGeometry& g, const Palette& palette,
                    std::uint8_t* destination) {
    const std::uint32_t* colours = palette.data();
    if constexpr (Planes == 0) {
        // Every pixel shows register 0; the (empty) buffer is never read.
        for (std::size_t i = 0; i < g.width * g.height; ++i) storePixel(destination + 4 * i, colours[0]);
        return;
    }
    for (std::size_t y = 0; y < g.height; ++y) {
        std::uint8_t* out = destination + y * g.width * 4;
        forEachGroupInRow<Planes>(planar, g, y, [&](const IndexGroup& group, std::size_t x, std::size_t pixels) {
            storeGroup(group, pixels, colours, out + 4 * x);
        });
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

// The held colour after one step; the pixel shows it.
inline std::uint32_t holdAndModify(std::uint32_t held, const HamStep& step, std::uint8_t* out) {
    held = (held & step.keep) | step.set;
    storePixel(out, held);
    return held;
}

// Writes the first `count` pixels of a group, each the held colour after
// its step; returns the colour held after the last.
inline std::uint32_t holdAndModifyGroup(const IndexGroup& group, std::size_t count, const HamSteps& steps,
                                        std::uint32_t held, std::uint8_t* out) {
    const std::size_t wholeColumns = count / kPixelsPerByte;
#pragma GCC unroll 16
    for (std::size_t c = 0; c < wholeColumns; ++c, out += 4 * kPixelsPerByte)
        for (std::size_t k = 0; k < kPixelsPerByte; ++k) held = holdAndModify(held, steps[group.at(c, k)], out + 4 * k);
    for (std::size_t k = 0; k < count % kPixelsPerByte; ++k)
        held = holdAndModify(held, steps[group.at(wholeColumns, k)], out + 4 * k);
    return held;
}

template <std::size_t Planes>
void convertHam(const std::uint8_t* planar, const PlanarGeometry& g, const Palette& palette,
                std::uint8_t* destination) {
    const HamSteps steps = buildHamSteps(palette, Planes);
    for (std::size_t y = 0; y < g.height; ++y) {
        std::uint8_t* out = destination + y * g.width * 4;
        std::uint32_t held = palette[0] | kOpaque;  // the hold colour restarts on every row
        forEachGroupInRow<Planes>(planar, g, y, [&](const IndexGroup& group, std::size_t x, std::size_t pixels) {
            held = holdAndModifyGroup(group, pixels, steps, held, out + 4 * x);
        });
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

ColourTable makeColourTable(const std::uint8_t* colorMap, std::size_t length, bool ehb) {
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
    // Unfilled entries are black; alpha is always opaque.
    for (auto& entry : palette) entry |= kOpaque;
    return palette;
}

void convertPlanarToBGRA(const std::uint8_t* planar, const PlanarGeometry& geometry, ColourMode mode,
                         const ColourTable& colours, std::uint8_t* destination) {
    Palette palette = colours;
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

void convertPlanarToBGRA(const std::uint8_t* planar, const PlanarGeometry& geometry, ColourMode mode,
                         const std::uint8_t* colorMap, std::size_t colorMapLength, std::uint8_t* destination) {
    convertPlanarToBGRA(planar, geometry, mode, makeColourTable(colorMap, colorMapLength, mode.ehb), destination);
}

}  // namespace velarium
