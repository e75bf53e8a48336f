// GIF exports read back with giflib and composed frame by frame, disposal
// included, the way a browser shows them.

#include <gif_lib.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "ExportReadBack.h"
#include "support/TemporaryFolder.h"

namespace velarium::exporter {
namespace {

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
        testing::TemporaryFolder folder;
        auto encoder = testing::encodePictures(makeGIFEncoder(), folder / "a.gif", pictures, durations, loop);
        const auto back = readGIF(folder / "a.gif");
        EXPECT_EQ(back.loopCount, loop ? 0 : -1);
        EXPECT_GT(encoder->droppedPictures(), 0u);
        expectShows(back, pictures, starts, start, encoder->droppedPictures());
    }
}

class GIFCorpusExport : public ::testing::TestWithParam<testing::CorpusAnimation> {};

// The pictures come from the exporter's own source, held to the expected
// frames by the WebP and APNG tests; the starts from the corpus.
TEST_P(GIFCorpusExport, ShowsEveryPictureOnTimeExactlyOrClose) {
    const auto& animation = GetParam();
    testing::TemporaryFolder folder;
    const auto report = testing::exportAs(animation.file, folder / "out.gif", ExportFormat::gif);
    ASSERT_TRUE(report);
    const auto pictures = testing::sourcePictures(animation.file, report->width);
    const auto lap = testing::expectedLap(animation);
    ASSERT_EQ(lap.size(), pictures.size());
    std::vector<double> starts;
    for (const testing::ShownPicture& shown : lap) starts.push_back(shown.start);
    const auto back = readGIF(folder / "out.gif");
    EXPECT_EQ(back.loopCount, 0);
    expectShows(back, pictures, starts, lap.back().start + lap.back().duration, report->droppedPictures);
}

INSTANTIATE_TEST_SUITE_P(Corpus, GIFCorpusExport, ::testing::ValuesIn(testing::corpusAnimations()),
                         testing::corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(GIFCorpusExport);

}  // namespace
}  // namespace velarium::exporter
