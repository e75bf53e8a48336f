// Colour conversion: the fast table-driven path against a plain per-pixel
// model for palettes and HAM6/HAM8, and Extra Half-Brite. (Transparency and
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

// Halved copies only complete a map of up to 32 colours; registers no map
// entry reaches stay black.
TEST(PlanarToBGRA, ExtraHalfBriteHalvesOnlySmallMaps) {
    Picture pic(3, 1, 6);
    pic.setIndex(0, 0, 37);
    pic.setIndex(1, 0, 5);
    pic.setIndex(2, 0, 63);
    const struct {
        std::size_t registers;
        bool ehb;
        ByteVector first, last;  // pixels 0 and 2
    } cases[] = {
        {32, true, bgra(5 >> 1, 10 >> 1, 15 >> 1), bgra(31 >> 1, 62 >> 1, 93 >> 1)},
        {64, true, bgra(37, 74, 111), bgra(63, 126, 189)},
        {4, true, bgra(0, 0, 0), bgra(0, 0, 0)},
        {32, false, bgra(0, 0, 0), bgra(0, 0, 0)},
    };
    for (const auto& c : cases) {
        const ByteVector map = rampMap(c.registers);
        const auto out = pic.convert(&map, {.ham = false, .ehb = c.ehb});
        EXPECT_EQ(pixel(out, 0), c.first) << c.registers << " registers";
        EXPECT_EQ(pixel(out, 2), c.last) << c.registers << " registers";
    }
}

TEST(PlanarToBGRA, HamNeedsSixToEightPlanes) {
    for (std::size_t planes : {5u, 12u}) {
        Picture pic(1, 1, planes);
        pic.setIndex(0, 0, 0x13);
        const ByteVector map = rampMap(32);
        EXPECT_EQ(pic.convert(&map, {.ham = true, .ehb = false}), bgra(0x13, 0x26, 0x39)) << planes;
    }
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
// index, its bits repeated downwards to fill eight. Each row starts from
// register 0.
ByteVector modelHam(const Picture& pic, const ByteVector& map) {
    const auto& g = pic.geometry;
    const unsigned valueBits = static_cast<unsigned>(g.numPlanes) - 2;
    ByteVector out;
    for (std::size_t y = 0; y < g.height; ++y) {
        unsigned rgb[3] = {0, 0, 0};
        if (map.size() >= 3) rgb[0] = map[0], rgb[1] = map[1], rgb[2] = map[2];
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
                    for (unsigned i = 0; i < 3; ++i) rgb[i] = 3 * value + 2 < map.size() ? map[3 * value + i] : 0;
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

// Colour maps: full, partial (a stray byte after the last whole register)
// and missing; registers beyond the map are black.
std::vector<ByteVector> testMaps(std::size_t registers) {
    ByteVector partial = rampMap(registers / 2);
    partial.insert(partial.end(), {0x77, 0x77});
    return {rampMap(registers), partial, {}};
}

// Widths around the 8-pixel byte, the 16-pixel word and the 128-pixel
// group the conversion works in, with every plane count; the bytes past
// each row's pixels are random too and must not show.
TEST(PlanarToBGRA, MatchesPerPixelModelOnAwkwardSizes) {
    std::mt19937 random(7);
    const std::size_t widths[] = {1, 7, 9, 16, 63, 100, 127, 128, 129, 200, 255, 321};
    for (std::size_t planes = 0; planes <= 9; ++planes)
        for (std::size_t width : widths) {
            Picture pic(width, 1 + width % 3, planes);
            for (auto& b : pic.planar) b = static_cast<std::uint8_t>(random());
            for (const ByteVector& map : testMaps(256))
                EXPECT_EQ(pic.convert(map.empty() ? nullptr : &map), modelConvert(pic, map))
                    << width << " pixels, " << planes << " planes, " << map.size() << " map bytes";
        }
}

TEST(PlanarToBGRA, HoldAndModifyMatchesPerPixelModelOnAwkwardSizes) {
    std::mt19937 random(11);
    for (std::size_t planes = 6; planes <= 8; ++planes)
        for (std::size_t width : {5, 64, 130, 321}) {
            Picture pic(width, 3, planes);
            for (auto& b : pic.planar) b = static_cast<std::uint8_t>(random());
            for (const ByteVector& map : testMaps(64))
                EXPECT_EQ(pic.convert(map.empty() ? nullptr : &map, {.ham = true, .ehb = false}), modelHam(pic, map))
                    << width << " pixels, HAM" << planes << ", " << map.size() << " map bytes";
        }
}

}  // namespace
}  // namespace velarium
