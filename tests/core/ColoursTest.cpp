// Colour conversion against a plain per-pixel model for palettes, HAM6 to
// HAM8 and Extra Half-Brite (real pictures and transparency: on the corpus).
// Colour cycling: each range turns its registers by floor(t × steps a second)
// in its direction and phase; EHB halves follow their bases, HAM holds the
// turned bases; time zero, or a range that does not cycle, changes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/ANIMParser.h"
#include "core/PlanarToBGRA.h"
#include "support/Corpus.h"
#include "support/IFFWriter.h"

namespace velarium {
namespace {

using namespace velarium::testing;

struct Planes {
    PlanarGeometry geometry;
    ByteVector planar;

    Planes(std::size_t width, std::size_t height, std::size_t planes)
        : geometry(width, height, planes), planar(geometry.bufferSize(), 0) {}

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
ByteVector model(const Planes& pic, const ByteVector& map, ColourMode mode) {
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
                    Planes pic(width, 1 + width % 3, planes);
                    for (auto& b : pic.planar) b = static_cast<std::uint8_t>(random());
                    const ColourMode mode{.ham = ham, .ehb = ehb};
                    for (const ByteVector& map : maps)
                        EXPECT_EQ(pic.convert(map.empty() ? nullptr : &map, mode), model(pic, map, mode))
                            << width << " pixels, " << planes << " planes, HAM " << ham << ", EHB " << ehb << ", "
                            << map.size() << " bytes";
                }
}


constexpr unsigned kWidth = 64;  // pixel x shows register x (mod the registers the planes reach)

// Register r is grey r × 4 (0x000000, 0x040404, ...): every colour differs.
std::uint32_t grey(unsigned r) { return (r * 4) * 0x010101u; }
std::uint32_t half(std::uint32_t c) { return (c >> 1) & 0x7F7F7F; }

// One stored row of kWidth pixels whose indices are `pixel(x)`.
template <typename Index>
ByteVector bodyRow(unsigned planes, Index pixel) {
    ByteVector row;
    for (unsigned p = 0; p < planes; ++p)
        for (unsigned byte = 0; byte < kWidth / 8; ++byte) {
            std::uint8_t bits = 0;
            for (unsigned k = 0; k < 8; ++k) bits |= ((pixel(byte * 8 + k) >> p) & 1u) << (7 - k);
            row.push_back(bits);
        }
    return row;
}

// Register cells (cell, register) and true-colour cells (cell, 0xRRGGBB).
ByteVector drng(unsigned rate, unsigned flags, unsigned low, unsigned high,
                std::vector<std::pair<unsigned, std::uint32_t>> trueCells,
                std::vector<std::pair<unsigned, unsigned>> registerCells) {
    ByteVector d = concat({words({low, high}, 1), w16({rate, flags}),
                           words({unsigned(trueCells.size()), unsigned(registerCells.size())}, 1)});
    for (auto [cell, rgb] : trueCells) d = concat({d, words({cell}, 1), words({rgb}, 3)});
    for (auto [cell, reg] : registerCells) d = concat({d, words({cell, reg}, 1)});
    return chunk("DRNG", d);
}

struct Picture {
    ANIMParser parser;
    explicit Picture(ByteVector file) : parser(makeSharedBytes(std::move(file))) {
        EXPECT_TRUE(parser.parseWithError(nullptr));
    }
    Bytes at(const MediaTime* elapsed) {
        Bytes out(parser.width() * parser.height() * 4);
        EXPECT_TRUE(elapsed ? parser.decodeFrameAtIndex(0, *elapsed, out.data(), out.size(), nullptr)
                            : parser.decodeFrameAtIndex(0, out, nullptr));
        return out;
    }
    static std::uint32_t rgb(const Bytes& bgra, unsigned x) {
        return std::uint32_t(bgra[4 * x + 2]) << 16 | std::uint32_t(bgra[4 * x + 1]) << 8 | bgra[4 * x];
    }
};

// A 16-colour, 4-plane picture with the given ranges.
ByteVector paletteFile(const std::vector<ByteVector>& ranges, unsigned planes = 4, std::uint32_t mode = 0) {
    ByteVector colours;
    for (unsigned r = 0; r < 32; ++r) colours = concat({colours, words({grey(r)}, 3)});
    std::vector<ByteVector> chunks = {bmhd({.width = kWidth, .planes = planes}), chunk("CMAP", colours), camg(mode)};
    chunks.insert(chunks.end(), ranges.begin(), ranges.end());
    chunks.push_back(chunk("BODY", bodyRow(planes, [planes](unsigned x) { return x % (1u << planes); })));
    return animFile({form("ILBM", chunks)});
}

struct CycleCase {
    std::string name;
    std::vector<ByteVector> ranges;
    MediaTime elapsed;
    std::map<unsigned, std::uint32_t> changed;  // register → the colour it shows; the rest unchanged
};

void PrintTo(const CycleCase& c, std::ostream* os) { *os << c.name; }

class CycledPalette : public ::testing::TestWithParam<CycleCase> {};

TEST_P(CycledPalette, TurnsRegistersByWholeStepsInTheirDirection) {
    const CycleCase& c = GetParam();
    Picture picture(paletteFile(c.ranges));
    const Bytes still = picture.at(nullptr);
    const Bytes cycled = picture.at(&c.elapsed);
    for (unsigned x = 0; x < 16; ++x) {
        const auto it = c.changed.find(x);
        EXPECT_EQ(Picture::rgb(cycled, x), it == c.changed.end() ? grey(x) : it->second) << "register " << x;
    }
    const MediaTime start = MediaTime::zero();
    EXPECT_EQ(picture.at(&start), still);
}

const MediaTime kOneSixtieth = MediaTime::make(1, 60);
const MediaTime kJustUnderTwo = MediaTime::make(119, 3600);  // 1.98 steps at 60 a second

INSTANTIATE_TEST_SUITE_P(Ranges, CycledPalette, ::testing::Values(
    CycleCase{"CRNGForwardOneStep", {crng(16384, 1, 2, 5)}, kOneSixtieth,
              {{2, grey(5)}, {3, grey(2)}, {4, grey(3)}, {5, grey(4)}}},
    CycleCase{"CRNGStepsAreFloored", {crng(16384, 1, 2, 5)}, kJustUnderTwo,
              {{2, grey(5)}, {3, grey(2)}, {4, grey(3)}, {5, grey(4)}}},
    CycleCase{"CRNGReverse", {crng(16384, 3, 2, 5)}, kOneSixtieth,
              {{2, grey(3)}, {3, grey(4)}, {4, grey(5)}, {5, grey(2)}}},
    CycleCase{"CRNGHalfRateAfterTwoSixtieths", {crng(8192, 1, 2, 3)}, MediaTime::make(2, 60),
              {{2, grey(3)}, {3, grey(2)}}},
    CycleCase{"CRNGWrapsAfterAFullTurn", {crng(16384, 1, 2, 5)}, MediaTime::make(4, 60), {}},
    CycleCase{"CRNGInactive", {crng(16384, 0, 2, 5)}, kOneSixtieth, {}},
    CycleCase{"CRNGOneColour", {crng(16384, 1, 4, 4)}, kOneSixtieth, {}},
    CycleCase{"CRNGRateZero", {crng(0, 1, 2, 5)}, MediaTime::make(1000, 1), {}},
    CycleCase{"CCRTForward", {ccrt(1, 6, 8, 0, 500000)}, MediaTime::make(1, 2),
              {{6, grey(8)}, {7, grey(6)}, {8, grey(7)}}},
    CycleCase{"CCRTNotYetAStep", {ccrt(1, 6, 8, 0, 500000)}, MediaTime::make(49, 100), {}},
    CycleCase{"CCRTBackwards", {ccrt(-1, 6, 8, 1, 0)}, MediaTime::make(1, 1),
              {{6, grey(7)}, {7, grey(8)}, {8, grey(6)}}},
    CycleCase{"CCRTDirectionZero", {ccrt(0, 6, 8, 1, 0)}, MediaTime::make(5, 1), {}},
    CycleCase{"CCRTNoTime", {ccrt(1, 6, 8, 0, 0)}, MediaTime::make(5, 1), {}},
    CycleCase{"DRNGRegisterCellsInCellOrder", {drng(16384, 1, 0, 3, {}, {{3, 9}, {0, 2}, {1, 5}, {2, 7}})},
              kOneSixtieth, {{2, grey(9)}, {5, grey(2)}, {7, grey(5)}, {9, grey(7)}}},
    CycleCase{"DRNGReverse", {drng(16384, 3, 0, 2, {}, {{0, 2}, {1, 5}, {2, 7}})}, kOneSixtieth,
              {{2, grey(5)}, {5, grey(7)}, {7, grey(2)}}},
    CycleCase{"DRNGTrueColourTravelsThroughRegisters", {drng(16384, 1, 0, 2, {{1, 0xABCDEF}}, {{0, 2}, {2, 3}})},
              kOneSixtieth, {{2, grey(3)}, {3, 0xABCDEF}}},
    CycleCase{"DRNGInactive", {drng(16384, 0, 0, 1, {}, {{0, 2}, {1, 3}})}, kOneSixtieth, {}},
    CycleCase{"DRNGRateZero", {drng(0, 1, 0, 1, {}, {{0, 2}, {1, 3}})}, kOneSixtieth, {}},
    CycleCase{"DRNGOneCell", {drng(16384, 1, 0, 3, {}, {{2, 4}})}, kOneSixtieth, {}},
    CycleCase{"EachRangeKeepsItsOwnPhase", {crng(16384, 1, 2, 3), crng(8192, 1, 6, 7), ccrt(1, 10, 12, 0, 20000)},
              MediaTime::make(3, 60),
              {{2, grey(3)}, {3, grey(2)}, {6, grey(7)}, {7, grey(6)},
               {10, grey(11)}, {11, grey(12)}, {12, grey(10)}}}),
    [](const auto& info) { return info.param.name; });

TEST(ColourCycling, HalfBriteColoursFollowTheirBaseRegisters) {
    Picture picture(paletteFile({crng(16384, 1, 2, 3)}, 6, ANIMParser::kCamgEHB));
    const Bytes cycled = picture.at(&kOneSixtieth);
    EXPECT_EQ(Picture::rgb(cycled, 2), grey(3));
    EXPECT_EQ(Picture::rgb(cycled, 3), grey(2));
    EXPECT_EQ(Picture::rgb(cycled, 34), half(grey(3)));
    EXPECT_EQ(Picture::rgb(cycled, 35), half(grey(2)));
    EXPECT_EQ(Picture::rgb(cycled, 36), half(grey(4)));
}

TEST(ColourCycling, HAMHoldsTheTurnedBaseColour) {
    // Pixel 0 loads register 2; pixel 1 then sets blue to 0x55 (modify value 5).
    const std::vector<unsigned> indices = {2, 0x10 | 5};
    ByteVector colours;
    for (unsigned r = 0; r < 16; ++r) colours = concat({colours, words({grey(r)}, 3)});
    const ByteVector file = animFile({form(
        "ILBM", {bmhd({.width = kWidth, .planes = 6}), chunk("CMAP", colours), camg(ANIMParser::kCamgHAM),
                 crng(16384, 1, 2, 3),
                 chunk("BODY", bodyRow(6, [&](unsigned x) { return x < indices.size() ? indices[x] : 0u; }))})});
    Picture picture(file);
    const Bytes cycled = picture.at(&kOneSixtieth);
    EXPECT_EQ(Picture::rgb(cycled, 0), grey(3));
    EXPECT_EQ(Picture::rgb(cycled, 1), (grey(3) & 0xFFFF00) | 0x55);
}

// The real files with ranges: each pixel shows, at time t, the colour its
// register's turn brings onto it, worked out here from the ranges' fields.
class CorpusCycling : public ::testing::TestWithParam<CorpusAnimation> {};

TEST_P(CorpusCycling, PixelsShowTheirRegistersTurnedColour) {
    ANIMParser parser(makeSharedBytes(readFileBytes(GetParam().file)));
    ASSERT_TRUE(parser.parseWithError(nullptr));
    ASSERT_TRUE(parser.cyclesColours());
    ASSERT_FALSE(parser.isHAM() || parser.isEHB());
    const MediaTime t = MediaTime::make(2345, 1000);
    Bytes still(parser.width() * parser.height() * 4), cycled(still.size());
    ASSERT_TRUE(parser.decodeFrameAtIndex(0, still, nullptr));
    ASSERT_TRUE(parser.decodeFrameAtIndex(0, t, cycled.data(), cycled.size(), nullptr));

    // Which register's colour each register shows.
    std::vector<unsigned> source(256);
    for (unsigned r = 0; r < 256; ++r) source[r] = r;
    for (const ColourRange& range : parser.colourRanges()) {
        if (!range.active || range.high <= range.low) continue;
        const auto steps = static_cast<long long>(2.345 * range.stepsPerSecond());
        const int n = range.high - range.low + 1;
        std::vector<unsigned> before = source;
        for (int i = 0; i < n; ++i) {
            const long long from = range.reverse ? i + steps : i - steps;
            source[range.low + i] = before[range.low + int(((from % n) + n) % n)];
        }
    }
    const auto& geometry = parser.geometry();
    const auto& planar = *parser.planarBuffer();
    const auto& cmap = *parser.colorMap();
    std::size_t moved = 0;
    for (std::size_t y = 0; y < geometry.height; ++y)
        for (std::size_t x = 0; x < geometry.width; ++x) {
            unsigned reg = 0;
            for (std::size_t p = 0; p < geometry.numPlanes; ++p)
                reg |= ((planar[p * geometry.planeSize + y * geometry.rowBytes + x / 8] >> (7 - x % 8)) & 1u) << p;
            const unsigned s = source[reg];
            const std::size_t at = 4 * (y * geometry.width + x);
            const std::uint32_t want = 3 * s + 2 < cmap.size()
                                           ? std::uint32_t(cmap[3 * s]) << 16 | cmap[3 * s + 1] << 8 | cmap[3 * s + 2]
                                           : 0;
            ASSERT_EQ(Picture::rgb(cycled, unsigned(y * geometry.width + x)), want) << x << "," << y;
            moved += std::memcmp(&cycled[at], &still[at], 4) != 0;
        }
    EXPECT_GT(moved, 0u);
}

INSTANTIATE_TEST_SUITE_P(Real, CorpusCycling,
                         ::testing::ValuesIn(corpusAnimations({"amospro_Bug.anim", "amospro_tutorial_AMOS.anim",
                                                               "pydpainter_color-balls.anim"})),
                         corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusCycling);

}  // namespace
}  // namespace velarium
