// Every corpus animation exported as APNG and read back by libpng and our
// reading of the frame chunks: the expected pictures, the exact durations.
#include <gtest/gtest.h>

#include "APNGReader.h"
#include "ExportReadBack.h"
#include "support/TemporaryFolder.h"

namespace velarium::testing {
namespace {

using namespace velarium::exporter;

class APNGCorpusExport : public ::testing::TestWithParam<CorpusAnimation> {};

TEST_P(APNGCorpusExport, ReadsBackAsTheFramesWithExactDelays) {
    const CorpusAnimation& animation = GetParam();
    TemporaryFolder folder;
    const auto report = exportAs(animation.file, folder / "out.apng", ExportFormat::apng);
    ASSERT_TRUE(report);
    const ExpectedExport expected = expectedExport(animation);
    const APNGFile apng = readAPNG(folder / "out.apng");
    ASSERT_EQ(apng.failure, "");
    EXPECT_EQ(apng.plays, 0u);
    ASSERT_EQ(apng.frames.size(), expected.hashes.size());
    EXPECT_EQ(report->frames, expected.hashes.size());
    for (std::size_t i = 0; i < apng.frames.size(); ++i) {
        const APNGFrame& frame = apng.frames[i];
        EXPECT_EQ(hashAsExpected(frame.rgba), expected.hashes[i]) << "picture " << i;
        EXPECT_EQ(MediaTime::make(frame.delayNumerator, frame.delayDenominator), expected.durations[i])
            << "picture " << i;
        for (std::size_t p = 3; p < frame.rgba.size(); p += 4)
            ASSERT_TRUE(frame.rgba[p] == 0 || frame.rgba[p] == 255) << "picture " << i;
    }
}

// A 37 × 5 picture (not a whole number of the encoder's 16-pixel comparison
// blocks) of a few colours, one pixel transparent.
Picture fewColours() {
    Picture picture{37, 5, std::vector<std::uint8_t>(37 * 5 * 4)};
    for (std::size_t i = 0; i < 37 * 5; ++i) {
        const std::uint8_t level = std::uint8_t(40 * (i % 5));
        const std::uint8_t pixel[4] = {level, std::uint8_t(255 - level), 7, i == 150 ? std::uint8_t(0) : std::uint8_t(255)};
        std::memcpy(&picture.rgba[i * 4], pixel, 4);
    }
    return picture;
}

// `picture` with its first 100 pixels in colours of their own, a new set for each `set`.
Picture newColours(Picture picture, std::uint8_t set) {
    for (std::size_t i = 0; i < 100; ++i) {
        const std::uint8_t pixel[4] = {std::uint8_t(i), set, 200, 255};
        std::memcpy(&picture.rgba[i * 4], pixel, 4);
    }
    return picture;
}

// Each picture stores only what changed since the one before; read back,
// every picture must come out whole, in the palette or, once the animation
// has more than 256 colours, in RGBA with the palette frames before rebuilt.
TEST(APNGEncoder, ReadsBackMadeUpPicturesExactly) {
    const Picture base = fewColours();
    auto changed = [](Picture picture, std::initializer_list<std::pair<unsigned, unsigned>> pixels) {
        for (const auto& [x, y] : pixels) picture.rgba[(y * picture.width + x) * 4 + 2] ^= 0x80;
        return picture;
    };
    struct Case {
        const char* name;
        std::vector<Picture> pictures;
        std::uint8_t colourType;
    } const cases[] = {
        {"changes at the block edges",
         {base, changed(base, {{0, 0}}), changed(base, {{15, 2}}), changed(base, {{16, 2}}), changed(base, {{36, 4}}),
          changed(base, {{20, 1}, {3, 3}}), changed(base, {{20, 1}, {3, 3}})},
         3},
        {"outgrows the palette at the third picture",
         {newColours(base, 0), newColours(base, 1), newColours(base, 2), changed(newColours(base, 2), {{36, 4}})},
         6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder folder;
        encodePictures(makeAPNGEncoder(), folder.path() / "a.apng", c.pictures,
                       std::vector<MediaTime>(c.pictures.size(), MediaTime::make(1, 60)));
        const APNGFile apng = readAPNG(folder.path() / "a.apng");
        ASSERT_EQ(apng.failure, "");
        EXPECT_EQ(apng.colourType, c.colourType);
        ASSERT_EQ(apng.frames.size(), c.pictures.size());
        for (std::size_t i = 0; i < c.pictures.size(); ++i)
            EXPECT_EQ(apng.frames[i].rgba, c.pictures[i].rgba) << "picture " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, APNGCorpusExport,
                         ::testing::ValuesIn(haveCorpus() ? corpusAnimations() : std::vector<CorpusAnimation>{}),
                         corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(APNGCorpusExport);

}  // namespace
}  // namespace velarium::testing
