// Colour conversion: the fast table-driven path against a plain per-pixel
// model for palettes, HAM6 to HAM8 and Extra Half-Brite. (Transparency and
// real HAM and EHB pictures are checked on the corpus.)
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/PlanarToBGRA.h"

namespace velarium {
namespace {

using ByteVector = std::vector<std::uint8_t>;

struct Picture {
    PlanarGeometry geometry;
    ByteVector planar;

    Picture(std::size_t width, std::size_t height, std::size_t planes)
        : geometry(width, height, planes), planar(geometry.bufferSize(), 0) {}

    void setIndex(std::size_t x, std::size_t y, unsigned index) {
        for (std::size_t p = 0; p < geometry.numPlanes && p < 32; ++p) {
            std::uint8_t& byte = planar[p * geometry.planeSize + y * geometry.rowBytes + x / 8];
            const std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x % 8));
            byte = (index >> p) & 1 ? (byte | bit) : (byte & ~bit);
        }
    }

    ByteVector convert(const ByteVector* colorMap, ColourMode mode = {}) const {
        ByteVector out(geometry.width * geometry.height * 4 + 4, 0xCC);  // one guard pixel
        convertPlanarToBGRA(planar.data(), geometry, mode, colorMap ? colorMap->data() : nullptr,
                            colorMap ? colorMap->size() : 0, out.data());
        EXPECT_EQ(ByteVector(out.end() - 4, out.end()), ByteVector(4, 0xCC)) << "wrote past the frame";
        out.resize(out.size() - 4);
        return out;
    }
};

// A colour map of `count` registers where register i is (i, 2i, 3i) mod 256.
ByteVector rampMap(std::size_t count) {
    ByteVector map;
    for (std::size_t i = 0; i < count; ++i)
        map.insert(map.end(), {std::uint8_t(i), std::uint8_t(2 * i), std::uint8_t(3 * i)});
    return map;
}

// The obvious per-pixel reading of the first eight planes, then of the colour:
// a register, or with hold-and-modify on six to eight planes, the top two
// planes choose between a register and setting blue, red or green to the rest
// of the index, its bits repeated downwards to fill eight; each row starts
// from register 0. Registers beyond the map are black; with Extra Half-Brite,
// a map of up to 32 colours (99 bytes) gets registers 32 to 63 as halved copies.
ByteVector model(const Picture& pic, const ByteVector& map, ColourMode mode) {
    const auto& g = pic.geometry;
    const unsigned valueBits = mode.ham && g.numPlanes >= 6 && g.numPlanes <= 8 ? unsigned(g.numPlanes) - 2 : 8;
    const bool halves = mode.ehb && map.size() >= 3 && map.size() < 99;
    const auto reg = [&](unsigned i, unsigned c) {
        const unsigned shift = halves && i >= 32 ? 1 : 0;
        i -= 32 * shift;
        return 3 * i + 2 < map.size() ? unsigned(map[3 * i + c]) >> shift : 0u;
    };
    ByteVector out;
    for (std::size_t y = 0; y < g.height; ++y) {
        unsigned rgb[3] = {reg(0, 0), reg(0, 1), reg(0, 2)};
        for (std::size_t x = 0; x < g.width; ++x) {
            unsigned index = 0;
            for (std::size_t p = 0; p < std::min<std::size_t>(g.numPlanes, 8); ++p)
                if (pic.planar[p * g.planeSize + y * g.rowBytes + x / 8] & (0x80 >> (x % 8))) index |= 1u << p;
            const unsigned value = index & ((1u << valueBits) - 1);
            unsigned wide = 0;
            for (int shift = 8 - int(valueBits); shift > -int(valueBits); shift -= int(valueBits))
                wide |= shift >= 0 ? value << shift : value >> -shift;
            switch (index >> valueBits) {
                case 0: rgb[0] = reg(value, 0), rgb[1] = reg(value, 1), rgb[2] = reg(value, 2); break;
                case 1: rgb[2] = wide & 0xFF; break;
                case 2: rgb[0] = wide & 0xFF; break;
                case 3: rgb[1] = wide & 0xFF; break;
            }
            out.insert(out.end(), {std::uint8_t(rgb[2]), std::uint8_t(rgb[1]), std::uint8_t(rgb[0]), 0xFF});
        }
    }
    return out;
}

// Widths around the 8-pixel byte, the 16-pixel word and the 128-pixel group
// the conversion works in, with every plane count, with and without
// hold-and-modify (which needs six to eight planes) and Extra Half-Brite; the
// bytes past each row's pixels are random too and must not show. Colour maps:
// full, 33 colours, partial (a stray byte after the last whole register),
// short of the halved copies' sources, and missing.
TEST(PlanarToBGRA, MatchesPerPixelModelOnAwkwardSizes) {
    ByteVector partial = rampMap(32);
    partial.insert(partial.end(), {0x77, 0x77});
    const ByteVector maps[] = {rampMap(256), rampMap(33), partial, rampMap(4), {}};
    std::mt19937 random(7);
    for (bool ham : {false, true})
        for (bool ehb : {false, true})
            for (std::size_t planes = 0; planes <= 9; ++planes)
                for (std::size_t width : {1, 7, 9, 16, 63, 100, 127, 128, 129, 200, 255, 321}) {
                    Picture pic(width, 1 + width % 3, planes);
                    for (auto& b : pic.planar) b = static_cast<std::uint8_t>(random());
                    const ColourMode mode{.ham = ham, .ehb = ehb};
                    for (const ByteVector& map : maps)
                        EXPECT_EQ(pic.convert(map.empty() ? nullptr : &map, mode), model(pic, map, mode))
                            << width << " pixels, " << planes << " planes, HAM " << ham << ", EHB " << ehb << ", "
                            << map.size() << " bytes";
                }
}

}  // namespace
}  // namespace velarium
