// Picture formats read back with decoders we did not write: APNG by libpng and
// our reading of its frame chunks (exact pictures and durations), WebP by
// libwebp's demuxer and decoder, GIF by giflib composed frame by frame,
// disposal included, as a browser shows it.
#include <gif_lib.h>
#include <webp/demux.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

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

INSTANTIATE_TEST_SUITE_P(Corpus, APNGCorpusExport, ::testing::ValuesIn(corpusAnimations()), corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(APNGCorpusExport);


struct WebPReadBack {
    std::vector<std::vector<std::uint8_t>> pictures;  // RGBA
    std::vector<double> starts;                       // seconds
    std::vector<double> durations;
    std::uint32_t loopCount = 0;
};

WebPReadBack readWebP(const std::filesystem::path& path) {
    const auto bytes = readFileBytes(path);
    WebPData data{bytes.data(), bytes.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    WebPReadBack out;
    if (!decoder) {
        ADD_FAILURE() << "libwebp cannot read " << path;
        return out;
    }
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(decoder, &info);
    out.loopCount = info.loop_count;
    const std::size_t size = std::size_t{info.canvas_width} * info.canvas_height * 4;
    int previousEnd = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
        std::uint8_t* pixels = nullptr;
        int end = 0;  // the decoder gives each frame's end, in ms
        WebPAnimDecoderGetNext(decoder, &pixels, &end);
        out.pictures.emplace_back(pixels, pixels + size);
        out.starts.push_back(previousEnd / 1000.0);
        out.durations.push_back((end - previousEnd) / 1000.0);
        previousEnd = end;
    }
    WebPAnimDecoderDelete(decoder);
    return out;
}

// Made-up pictures: transparent pixels with a colour of their own (which an
// exact export keeps), and durations of the 60 Hz clock whose milliseconds
// only come out right when rounded on the running total.
TEST(WebPExportTest, KeepsEveryPixelAndEachStartWithinAMillisecond) {
    const std::uint64_t width = 23, height = 7;
    std::vector<Picture> pictures;
    std::vector<MediaTime> durations;
    for (int i = 0; i < 12; ++i) {
        Picture picture{width, height, std::vector<std::uint8_t>(width * height * 4)};
        for (std::size_t p = 0; p < width * height; ++p) {
            std::uint8_t* px = &picture.rgba[p * 4];
            px[0] = static_cast<std::uint8_t>(p * 7 + i), px[1] = static_cast<std::uint8_t>(p / 3), px[2] = 99;
            px[3] = (p + i) % 5 == 0 ? 0 : 255;
        }
        pictures.push_back(picture);
        durations.push_back(MediaTime::make(1 + i % 3, 60));
    }
    for (const bool loop : {true, false}) {
        TemporaryFolder folder;
        encodePictures(makeWebPEncoder(), folder / "a.webp", pictures, durations, loop);
        const auto back = readWebP(folder / "a.webp");
        EXPECT_EQ(back.loopCount, loop ? 0u : 1u);
        ASSERT_EQ(back.pictures.size(), pictures.size());
        MediaTime start = MediaTime::zero();
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            EXPECT_EQ(back.pictures[i], pictures[i].rgba) << "picture " << i;
            EXPECT_NEAR(back.starts[i], start.seconds(), 0.001) << "picture " << i;
            start = start + durations[i];
        }
        EXPECT_NEAR(back.starts.back() + back.durations.back(), start.seconds(), 0.001);
    }
}

class WebPCorpusExport : public ::testing::TestWithParam<CorpusAnimation> {};

TEST_P(WebPCorpusExport, ShowsEveryExpectedPictureOnTime) {
    const auto& animation = GetParam();
    TemporaryFolder folder;
    ASSERT_TRUE(exportAs(animation.file, folder / "out.webp", ExportFormat::webp));
    const auto back = readWebP(folder / "out.webp");
    EXPECT_EQ(back.loopCount, 0u);
    // Consecutive pictures alike are one picture shown for longer.
    std::vector<ShownPicture> shown;
    for (std::size_t i = 0; i < back.pictures.size(); ++i) {
        const std::string hash = hashAsExpected(back.pictures[i]);
        if (!shown.empty() && shown.back().hash == hash)
            shown.back().duration += back.durations[i];
        else
            shown.push_back({hash, back.starts[i], back.durations[i]});
    }
    const auto expected = expectedLap(animation);
    ASSERT_EQ(shown.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(shown[i].hash, expected[i].hash) << "picture " << i;
        EXPECT_NEAR(shown[i].start, expected[i].start, 0.001) << "picture " << i;
    }
    EXPECT_NEAR(shown.back().start + shown.back().duration, expected.back().start + expected.back().duration, 0.001);
}

INSTANTIATE_TEST_SUITE_P(Corpus, WebPCorpusExport, ::testing::ValuesIn(corpusAnimations()), corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(WebPCorpusExport);


struct GIFReadBack {
    std::vector<std::vector<std::uint8_t>> pictures;  // RGBA, transparent where nothing was drawn
    std::vector<int> delays;                          // centiseconds
    int loopCount = -1;                               // -1: no loop extension
};

GIFReadBack readGIF(const std::filesystem::path& path) {
    GIFReadBack out;
    int code = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &code);
    if (!gif || DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << "giflib cannot read " << path << ": " << GifErrorString(gif ? gif->Error : code);
        if (gif) DGifCloseFile(gif, &code);
        return out;
    }
    const int width = gif->SWidth, height = gif->SHeight;
    std::vector<std::uint8_t> canvas(std::size_t(width) * height * 4, 0);
    for (int f = 0; f < gif->ImageCount; ++f) {
        const SavedImage& image = gif->SavedImages[f];
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0) {
                const ExtensionBlock& data = image.ExtensionBlocks[e + 1];
                out.loopCount = data.Bytes[1] | data.Bytes[2] << 8;
            }
        }
        GraphicsControlBlock control{};
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, f, &control);
        const GifImageDesc& desc = image.ImageDesc;
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        for (int y = 0; y < desc.Height; ++y)
            for (int x = 0; x < desc.Width; ++x) {
                const int index = image.RasterBits[y * desc.Width + x];
                if (index == control.TransparentColor) continue;
                std::uint8_t* px = &canvas[(std::size_t(desc.Top + y) * width + desc.Left + x) * 4];
                const GifColorType colour = map->Colors[index];
                px[0] = colour.Red, px[1] = colour.Green, px[2] = colour.Blue, px[3] = 255;
            }
        out.pictures.push_back(canvas);
        out.delays.push_back(control.DelayTime);
        EXPECT_NE(control.DisposalMode, DISPOSE_PREVIOUS);
        if (control.DisposalMode == DISPOSE_BACKGROUND)
            for (int y = 0; y < desc.Height; ++y)
                std::fill_n(&canvas[(std::size_t(desc.Top + y) * width + desc.Left) * 4], desc.Width * 4, 0);
    }
    DGifCloseFile(gif, &code);
    return out;
}

int colourCount(const std::vector<std::uint8_t>& rgba) {
    std::set<std::uint32_t> colours;
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        colours.insert(rgba[i + 3] == 0 ? 0xff000000u : rgba[i] | rgba[i + 1] << 8 | rgba[i + 2] << 16);
    return static_cast<int>(colours.size());
}

// Checks a GIF against the pictures it was made from, each with its exact
// start (seconds): every frame starts within 5 ms of the picture it shows,
// no delay is under 2 cs, the pictures left out are those counted as dropped,
// and each frame is exact (256 colours or fewer) or close (more).
void expectShows(const GIFReadBack& back, const std::vector<Picture>& pictures,
                 const std::vector<double>& starts, double end, std::uint64_t dropped) {
    std::size_t source = 0;
    int startCs = 0;
    for (std::size_t f = 0; f < back.pictures.size(); ++f) {
        const double start = startCs / 100.0;
        while (source < pictures.size() && starts[source] + 0.005 + 1e-9 < start) ++source;
        ASSERT_LT(source, pictures.size()) << "frame " << f << " at " << start << " s shows no picture";
        EXPECT_NEAR(starts[source], start, 0.005 + 1e-9) << "frame " << f;
        EXPECT_GE(back.delays[f], 2) << "frame " << f;
        const auto& want = pictures[source].rgba;
        const auto& got = back.pictures[f];
        ASSERT_EQ(got.size(), want.size());
        double error = 0;
        bool transparencyKept = true;
        for (std::size_t i = 0; i < want.size(); i += 4) {
            if (want[i + 3] == 0 || got[i + 3] == 0) {
                transparencyKept &= want[i + 3] == got[i + 3];
                continue;
            }
            for (int c = 0; c < 3; ++c) error += std::abs(want[i + c] - got[i + c]);
        }
        EXPECT_TRUE(transparencyKept) << "frame " << f;
        const double meanError = error / (want.size() / 4 * 3) / 255;
        if (colourCount(want) <= 256)
            EXPECT_EQ(error, 0) << "frame " << f << " of a picture of 256 colours or fewer";
        else
            EXPECT_LT(meanError, 8.0 / 255) << "frame " << f;
        startCs += back.delays[f];
        ++source;
    }
    EXPECT_NEAR(startCs / 100.0, end, 0.005 + 1e-9);
    EXPECT_EQ(pictures.size() - back.pictures.size(), dropped);
}

void paint(Picture& picture, std::uint64_t x0, std::uint64_t y0, std::uint64_t w, std::uint64_t h, std::uint32_t rgb,
           std::uint8_t alpha = 255) {
    for (std::uint64_t y = y0; y < y0 + h; ++y)
        for (std::uint64_t x = x0; x < x0 + w; ++x) {
            std::uint8_t* px = &picture.rgba[(y * picture.width + x) * 4];
            px[0] = rgb >> 16 & 0xff, px[1] = rgb >> 8 & 0xff, px[2] = rgb & 0xff, px[3] = alpha;
        }
}

// Made-up pictures through every path of the encoder: the global map, a
// local one for new colours, a pixel that becomes transparent, an unchanged
// picture, a smooth gradient of far more than 256 colours and a return to
// few colours; durations of the 60 Hz clock, some too short for GIF.
TEST(GIFExportTest, ShowsEachPictureExactlyOrCloseAndOnTime) {
    const std::uint64_t width = 64, height = 48;
    std::vector<Picture> pictures;
    Picture picture{width, height, std::vector<std::uint8_t>(width * height * 4)};
    paint(picture, 0, 0, width, height, 0x102030);
    paint(picture, 0, 0, 4, 4, 0, 0);
    paint(picture, 10, 10, 5, 5, 0xff0000);
    pictures.push_back(picture);
    paint(picture, 20, 5, 3, 9, 0x00ff77);
    pictures.push_back(picture);
    paint(picture, 10, 10, 2, 2, 0x123456, 0);
    pictures.push_back(picture);
    pictures.push_back(picture);
    Picture gradient = picture;
    for (std::uint64_t y = 0; y < height; ++y)
        for (std::uint64_t x = 0; x < width; ++x)
            paint(gradient, x, y, 1, 1, std::uint32_t(x * 4) << 16 | std::uint32_t(y * 5) << 8 | std::uint32_t((x + y) * 2));
    pictures.push_back(gradient);
    pictures.push_back(picture);
    paint(picture, 30, 30, 10, 3, 0xabcdef);
    pictures.push_back(picture);

    const std::vector<int> ticks = {2, 1, 1, 3, 1, 1, 2};
    std::vector<MediaTime> durations;
    std::vector<double> starts;
    double start = 0;
    for (int t : ticks) {
        durations.push_back(MediaTime::make(t, 60));
        starts.push_back(start);
        start += t / 60.0;
    }
    for (const bool loop : {true, false}) {
        TemporaryFolder folder;
        auto encoder = encodePictures(makeGIFEncoder(), folder / "a.gif", pictures, durations, loop);
        const auto back = readGIF(folder / "a.gif");
        EXPECT_EQ(back.loopCount, loop ? 0 : -1);
        EXPECT_GT(encoder->droppedPictures(), 0u);
        expectShows(back, pictures, starts, start, encoder->droppedPictures());
    }
}

class GIFCorpusExport : public ::testing::TestWithParam<CorpusAnimation> {};

// The pictures come from the exporter's own source, held to the expected
// frames by the WebP and APNG tests; the starts from the corpus.
TEST_P(GIFCorpusExport, ShowsEveryPictureOnTimeExactlyOrClose) {
    const auto& animation = GetParam();
    TemporaryFolder folder;
    const auto report = exportAs(animation.file, folder / "out.gif", ExportFormat::gif);
    ASSERT_TRUE(report);
    const auto pictures = sourcePictures(animation.file, report->width);
    const auto lap = expectedLap(animation);
    ASSERT_EQ(lap.size(), pictures.size());
    std::vector<double> starts;
    for (const ShownPicture& shown : lap) starts.push_back(shown.start);
    const auto back = readGIF(folder / "out.gif");
    EXPECT_EQ(back.loopCount, 0);
    expectShows(back, pictures, starts, lap.back().start + lap.back().duration, report->droppedPictures);
}

INSTANTIATE_TEST_SUITE_P(Corpus, GIFCorpusExport, ::testing::ValuesIn(corpusAnimations()), corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(GIFCorpusExport);

}  // namespace
}  // namespace velarium::testing
