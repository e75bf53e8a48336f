// Colour conversion: palette, Extra Half-Brite, HAM6/HAM8, transparency,
// and the fast table-driven path against a plain per-pixel model.
#include <gtest/gtest.h>

#include <array>
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

ByteVector pixel(const ByteVector& frame, std::size_t i) { return ByteVector(frame.begin() + 4 * i, frame.begin() + 4 * i + 4); }
ByteVector bgra(unsigned r, unsigned g, unsigned b, unsigned a = 0xFF) {
    return {std::uint8_t(b), std::uint8_t(g), std::uint8_t(r), std::uint8_t(a)};
}

// A colour map of `count` registers where register i is (i, 2i, 3i) mod 256.
ByteVector rampMap(std::size_t count) {
    ByteVector map;
    for (std::size_t i = 0; i < count; ++i) {
        map.push_back(std::uint8_t(i));
        map.push_back(std::uint8_t(2 * i));
        map.push_back(std::uint8_t(3 * i));
    }
    return map;
}

TEST(PlanarToBGRA, PaletteLookupUsesStoredBytesExactly) {
    Picture pic(1, 1, 1);
    pic.setIndex(0, 0, 1);
    const ByteVector map = {0, 0, 0, 0xF0, 0x0F, 0x80};
    EXPECT_EQ(pic.convert(&map), bgra(0xF0, 0x0F, 0x80));
    EXPECT_EQ(pic.convert(nullptr), bgra(0, 0, 0));

    // A trailing partial triplet is ignored; registers beyond the map are black.
    const ByteVector partial = {1, 2, 3, 4, 5};
    EXPECT_EQ(pic.convert(&partial), bgra(0, 0, 0));
}

TEST(PlanarToBGRA, ExtraHalfBriteHalvesOnlySmallMaps) {
    Picture pic(3, 1, 6);
    pic.setIndex(0, 0, 37);
    pic.setIndex(1, 0, 5);
    pic.setIndex(2, 0, 63);
    const ByteVector small = rampMap(32);
    auto out = pic.convert(&small, {.ham = false, .ehb = true});
    EXPECT_EQ(pixel(out, 0), bgra(5 >> 1, 10 >> 1, 15 >> 1));
    EXPECT_EQ(pixel(out, 1), bgra(5, 10, 15));
    EXPECT_EQ(pixel(out, 2), bgra(31 >> 1, 62 >> 1, 93 >> 1));

    const ByteVector full = rampMap(64);
    out = pic.convert(&full, {.ham = false, .ehb = true});
    EXPECT_EQ(pixel(out, 0), bgra(37, 74, 111));

    // Registers the small map does not hold stay black.
    const ByteVector four = rampMap(4);
    out = pic.convert(&four, {.ham = false, .ehb = true});
    EXPECT_EQ(pixel(out, 0), bgra(0, 0, 0));

    // Without the flag, register 37 is just beyond a 32-colour map.
    out = pic.convert(&small);
    EXPECT_EQ(pixel(out, 0), bgra(0, 0, 0));
}

TEST(PlanarToBGRA, HoldAndModify) {
    ByteVector map = rampMap(64);
    map[0] = 0x10, map[1] = 0x20, map[2] = 0x30;
    struct Case {
        const char* what;
        std::size_t planes;
        std::vector<unsigned> indices;  // one row, left to right
        ByteVector last;                // the last pixel
    } cases[] = {
        {"HAM6 blue from entry 0", 6, {0x1F}, bgra(0x10, 0x20, 0xFF)},
        {"HAM6 palette", 6, {0x03}, bgra(3, 6, 9)},
        {"HAM6 red then green", 6, {0x03, 0x25, 0x3A}, bgra(0x55, 0xAA, 9)},
        {"HAM8 red full", 8, {0xBF}, bgra(0xFF, 0x20, 0x30)},
        {"HAM8 red small", 8, {0x81}, bgra(0x04, 0x20, 0x30)},
        {"HAM8 green", 8, {0x05, 0xE0}, bgra(5, 0x82, 15)},
    };
    for (const auto& c : cases) {
        Picture pic(c.indices.size(), 1, c.planes);
        for (std::size_t x = 0; x < c.indices.size(); ++x) pic.setIndex(x, 0, c.indices[x]);
        auto out = pic.convert(&map, {.ham = true, .ehb = false});
        EXPECT_EQ(pixel(out, c.indices.size() - 1), c.last) << c.what;
    }
}

TEST(PlanarToBGRA, HoldColourRestartsOnEveryRow) {
    Picture pic(2, 2, 6);
    pic.setIndex(0, 0, 0x01);  // row 0 starts from register 1
    pic.setIndex(1, 0, 0x1F);
    pic.setIndex(0, 1, 0x1F);  // row 1 modifies register 0, not row 0's colour
    const ByteVector map = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
    auto out = pic.convert(&map, {.ham = true, .ehb = false});
    EXPECT_EQ(pixel(out, 1), bgra(0x40, 0x50, 0xFF));
    EXPECT_EQ(pixel(out, 2), bgra(0x10, 0x20, 0xFF));
    // Without a colour map the modify steps still act on black.
    out = pic.convert(nullptr, {.ham = true, .ehb = false});
    EXPECT_EQ(pixel(out, 2), bgra(0, 0, 0xFF));
}

TEST(PlanarToBGRA, HamNeedsSixToEightPlanes) {
    for (std::size_t planes : {5u, 12u}) {
        Picture pic(1, 1, planes);
        pic.setIndex(0, 0, 0x13);
        const ByteVector map = rampMap(32);
        EXPECT_EQ(pic.convert(&map, {.ham = true, .ehb = false}), bgra(0x13, 0x26, 0x39)) << planes;
    }
}

TEST(PlanarToBGRA, OnlyTheFirstEightPlanesFormTheIndex) {
    Picture pic(1, 1, 24);
    pic.setIndex(0, 0, 0xFFFF05);
    const ByteVector map = rampMap(256);
    EXPECT_EQ(pic.convert(&map), bgra(5, 10, 15));
    Picture none(9, 1, 0);
    EXPECT_EQ(pixel(none.convert(&map), 8), bgra(0, 0, 0));
}

TEST(PlanarToBGRA, TransparentRegisterHasZeroAlpha) {
    Picture pic(2, 1, 2);
    pic.setIndex(1, 0, 2);
    const ByteVector map = rampMap(4);
    ColourMode mode;
    mode.transparentColor = 0;
    auto out = pic.convert(&map, mode);
    EXPECT_EQ(pixel(out, 0), bgra(0, 0, 0, 0));
    EXPECT_EQ(pixel(out, 1), bgra(2, 4, 6));
}

// The obvious per-pixel reading of the planes, for comparison with the
// fast conversion on awkward sizes.
unsigned modelIndex(const Picture& pic, std::size_t x, std::size_t y) {
    const auto& g = pic.geometry;
    unsigned index = 0;
    for (std::size_t p = 0; p < std::min<std::size_t>(g.numPlanes, 8); ++p)
        if (pic.planar[p * g.planeSize + y * g.rowBytes + x / 8] & (0x80 >> (x % 8))) index |= 1u << p;
    return index;
}

ByteVector modelConvert(const Picture& pic, const ByteVector& map) {
    const auto& g = pic.geometry;
    ByteVector out;
    for (std::size_t y = 0; y < g.height; ++y)
        for (std::size_t x = 0; x < g.width; ++x) {
            const unsigned index = modelIndex(pic, x, y);
            const bool have = 3 * index + 2 < map.size();
            const auto c = have ? bgra(map[3 * index], map[3 * index + 1], map[3 * index + 2]) : bgra(0, 0, 0);
            out.insert(out.end(), c.begin(), c.end());
        }
    return out;
}

// Hold-and-modify read pixel by pixel: the top two of the planes choose
// between a register and setting blue, red or green to the rest of the
// index, its bits repeated downwards to fill eight.
ByteVector modelHam(const Picture& pic, const ByteVector& map) {
    const auto& g = pic.geometry;
    const unsigned valueBits = static_cast<unsigned>(g.numPlanes) - 2;
    ByteVector out;
    for (std::size_t y = 0; y < g.height; ++y) {
        unsigned rgb[3] = {map[0], map[1], map[2]};
        for (std::size_t x = 0; x < g.width; ++x) {
            const unsigned index = modelIndex(pic, x, y);
            const unsigned value = index & ((1u << valueBits) - 1);
            unsigned wide = 0;
            for (int shift = 8 - static_cast<int>(valueBits); shift > -static_cast<int>(valueBits);
                 shift -= static_cast<int>(valueBits))
                wide |= shift >= 0 ? value << shift : value >> -shift;
            wide &= 0xFF;
            switch (index >> valueBits) {
                case 0:
                    for (unsigned i = 0; i < 3; ++i) rgb[i] = 3 * value + i < map.size() ? map[3 * value + i] : 0;
                    break;
                case 1: rgb[2] = wide; break;
                case 2: rgb[0] = wide; break;
                case 3: rgb[1] = wide; break;
            }
            const auto c = bgra(rgb[0], rgb[1], rgb[2]);
            out.insert(out.end(), c.begin(), c.end());
        }
    }
    return out;
}

// Widths around the 8-pixel byte, the 16-pixel word and the 128-pixel
// group the conversion works in, with every plane count; the bytes past
// each row's pixels are random too and must not show.
TEST(PlanarToBGRA, MatchesPerPixelModelOnAwkwardSizes) {
    std::mt19937 random(7);
    const ByteVector map = rampMap(256);
    const std::size_t widths[] = {1, 7, 9, 16, 63, 100, 127, 128, 129, 200, 255, 321};
    for (std::size_t planes = 0; planes <= 9; ++planes)
        for (std::size_t width : widths) {
            Picture pic(width, 1 + width % 3, planes);
            for (auto& b : pic.planar) b = static_cast<std::uint8_t>(random());
            EXPECT_EQ(pic.convert(&map), modelConvert(pic, map)) << width << " pixels, " << planes << " planes";
        }
}

TEST(PlanarToBGRA, HoldAndModifyMatchesPerPixelModelOnAwkwardSizes) {
    std::mt19937 random(11);
    const ByteVector map = rampMap(64);
    for (std::size_t planes = 6; planes <= 8; ++planes)
        for (std::size_t width : {5, 64, 130, 321}) {
            Picture pic(width, 3, planes);
            for (auto& b : pic.planar) b = static_cast<std::uint8_t>(random());
            EXPECT_EQ(pic.convert(&map, {.ham = true, .ehb = false}), modelHam(pic, map))
                << width << " pixels, HAM" << planes;
        }
}

}  // namespace
}  // namespace velarium
