// WebP exports read back with libwebp's own demuxer and decoder.

#include <webp/demux.h>

#include <gtest/gtest.h>

#include <cmath>

#include "ExportReadBack.h"
#include "support/TemporaryFolder.h"

namespace velarium::exporter {
namespace {

using testing::ShownPicture;

struct WebPReadBack {
    std::vector<std::vector<std::uint8_t>> pictures;  // RGBA
    std::vector<double> starts;                       // seconds
    std::vector<double> durations;
    std::uint32_t loopCount = 0;
};

WebPReadBack readWebP(const std::filesystem::path& path) {
    const auto bytes = testing::readFileBytes(path);
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
        testing::TemporaryFolder folder;
        testing::encodePictures(makeWebPEncoder(), folder / "a.webp", pictures, durations, loop);
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

class WebPCorpusExport : public ::testing::TestWithParam<testing::CorpusAnimation> {};

TEST_P(WebPCorpusExport, ShowsEveryExpectedPictureOnTime) {
    const auto& animation = GetParam();
    testing::TemporaryFolder folder;
    ASSERT_TRUE(testing::exportAs(animation.file, folder / "out.webp", ExportFormat::webp));
    const auto back = readWebP(folder / "out.webp");
    EXPECT_EQ(back.loopCount, 0u);
    // Consecutive pictures alike are one picture shown for longer.
    std::vector<ShownPicture> shown;
    for (std::size_t i = 0; i < back.pictures.size(); ++i) {
        const std::string hash = testing::hashAsExpected(back.pictures[i]);
        if (!shown.empty() && shown.back().hash == hash)
            shown.back().duration += back.durations[i];
        else
            shown.push_back({hash, back.starts[i], back.durations[i]});
    }
    const auto expected = testing::expectedLap(animation);
    ASSERT_EQ(shown.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(shown[i].hash, expected[i].hash) << "picture " << i;
        EXPECT_NEAR(shown[i].start, expected[i].start, 0.001) << "picture " << i;
    }
    EXPECT_NEAR(shown.back().start + shown.back().duration, expected.back().start + expected.back().duration, 0.001);
}

INSTANTIATE_TEST_SUITE_P(Corpus, WebPCorpusExport, ::testing::ValuesIn(testing::corpusAnimations()),
                         testing::corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(WebPCorpusExport);

}  // namespace
}  // namespace velarium::exporter
