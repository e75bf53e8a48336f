// WebM and MP4 exports at the default scale, read back by ffmpeg: every
// picture once, at its start to the millisecond, tagged BT.709 limited range,
// close to its source scaled the same way (PSNR per frame, in RGB).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "ExportReadBack.h"
#include "export/AnimationEncoder.h"
#include "export/ExportError.h"
#include "support/TemporaryFolder.h"

namespace velarium::testing {
namespace {

using namespace velarium::exporter;

// What a shell command printed.
std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char chunk[1 << 16];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
    pclose(pipe);
    return out;
}

bool haveFFmpeg() { return run("ffmpeg -version 2>/dev/null").starts_with("ffmpeg"); }

using Entries = std::vector<std::pair<std::string, std::string>>;

// ffprobe's "key=value" lines (-of default=nw=1) for the file's first video stream, in order.
Entries probe(const std::filesystem::path& file, const std::string& entries) {
    std::istringstream lines(run("ffprobe -v error -select_streams v:0 -show_entries " + entries +
                                 " -of default=nw=1 '" + file.string() + "'"));
    Entries out;
    for (std::string line; std::getline(lines, line);)
        if (const auto eq = line.find('='); eq != std::string::npos)
            out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    return out;
}

// PSNR over red, green and blue of the source's area of a decoded frame
// (`stride` pixels a row: an odd side is padded by one).
double psnr(const Picture& source, const std::uint8_t* decoded, std::uint64_t stride) {
    double squares = 0;
    for (std::uint64_t y = 0; y < source.height; ++y)
        for (std::uint64_t x = 0; x < source.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = double(source.rgba[(y * source.width + x) * 4 + c]) - decoded[(y * stride + x) * 4 + c];
                squares += d * d;
            }
    const double mse = squares / double(source.width * source.height * 3);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct VideoCase {
    std::string name;  // of a corpus animation
    ExportFormat format;
    double minimumPSNR;  // per frame, in dB
};

void PrintTo(const VideoCase& c, std::ostream* os) { *os << c.name << " " << formatName(c.format); }

class VideoExport : public ::testing::TestWithParam<VideoCase> {
protected:
    void SetUp() override {
        if (!haveCorpus()) GTEST_SKIP() << "corpus absent";
        if (!haveFFmpeg()) GTEST_SKIP() << "ffmpeg absent (scripts/install-deps.sh installs it)";
    }
};

TEST_P(VideoExport, ReadsBackEveryPictureOnTimeTaggedAndCloseToTheSource) {
    const VideoCase& c = GetParam();
    const auto animations = corpusAnimations({c.name});
    ASSERT_EQ(animations.size(), 1u);
    TemporaryFolder folder;
    const auto output = folder.path() / (std::string("out.") + fileExtension(c.format));
    const auto exported = exportAs(animations[0].file, output, c.format);
    ASSERT_TRUE(exported);
    const ExportReport& report = *exported;
    const ExpectedExport expected = expectedExport(animations[0]);
    ASSERT_EQ(report.frames, expected.hashes.size());
    EXPECT_EQ(probe(output, "stream=color_range,color_space,color_primaries,color_transfer"),
              (Entries{{"color_range", "tv"}, {"color_space", "bt709"}, {"color_transfer", "bt709"},
                       {"color_primaries", "bt709"}}));

    const std::uint64_t stride = (report.width + 1) & ~1ull, rows = (report.height + 1) & ~1ull;
    ASSERT_EQ(probe(output, "stream=width,height"),
              (Entries{{"width", std::to_string(stride)}, {"height", std::to_string(rows)}}));
    const std::string pixels =
        run("ffmpeg -v error -i '" + output.string() + "' -fps_mode passthrough -f rawvideo -pix_fmt rgba -");
    const std::size_t frameBytes = stride * rows * 4;
    ASSERT_EQ(pixels.size(), report.frames * frameBytes);

    std::vector<double> starts;
    for (const auto& [key, value] : probe(output, "frame=pts_time")) starts.push_back(std::stod(value));
    ASSERT_EQ(starts.size(), report.frames);

    const auto sources = sourcePictures(animations[0].file, report.width);
    ASSERT_EQ(sources.size(), report.frames);
    MediaTime exact = MediaTime::zero();
    for (std::size_t i = 0; i < report.frames; ++i) {
        EXPECT_NEAR(starts[i], exact.seconds(), 0.001) << "picture " << i;
        exact = exact + expected.durations[i];
        EXPECT_GE(psnr(sources[i], reinterpret_cast<const std::uint8_t*>(pixels.data()) + i * frameBytes, stride),
                  c.minimumPSNR)
            << "picture " << i;
    }
}

// Every kind of picture the format carries, at the scale video gets by
// default (the largest even factor within 1920×1080, so every 2×2 chroma
// block lies inside one source pixel).
std::vector<VideoCase> cases() {
    const std::vector<std::pair<std::string, double>> files = {
        {"mm_op5_ham6_320x200.anim", 40},          // HAM6, ×4
        {"ham8_opJ_320x32_f12_il0.anim", 40},      // HAM8, ×6
        {"mm_op5_ehb_320x200.anim", 40},           // EHB, ×4
        {"pyd_op5_oddwidth_100x75.anim", 40},      // ×14
        {"pyd_op5_animbrush_xor_37x29.anim", 40},  // anim brush, ×36
        {"amospro_jbb_2_Boost.anim", 40},  // Deluxe Paint: wrap-up frames dropped; ×4
    };
    std::vector<VideoCase> out;
    for (const ExportFormat format : {ExportFormat::webm, ExportFormat::mp4})
        for (const auto& [name, floor] : files) out.push_back({name, format, floor});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Corpus, VideoExport, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<VideoCase>& info) {
                             return testNameFrom(formatName(info.param.format) + ("_" + info.param.name));
                         });

// A muxer that cannot write its file is the encoder's failure, in GStreamer's words.
TEST(VideoEncoderFailure, UnwritableOutputIsAnEncoderError) {
    for (const ExportFormat format : {ExportFormat::webm, ExportFormat::mp4}) {
        auto encoder = makeVideoEncoder(format);
        EncoderSetup setup;
        setup.path = "/nonexistent-folder/out.video";
        setup.width = 16;
        setup.height = 16;
        Error error;
        const Picture picture{16, 16, std::vector<std::uint8_t>(16 * 16 * 4, 255)};
        const bool written = encoder->begin(setup, &error) &&
                             encoder->addPicture(picture, MediaTime::zero(), MediaTime::make(1, 50), &error) &&
                             encoder->finish(&error);
        EXPECT_FALSE(written);
        EXPECT_EQ(error.domain, kExportErrorDomain);
        EXPECT_EQ(error.code, kExportErrorEncoder);
        EXPECT_FALSE(error.localizedDescription.empty());
    }
}

}  // namespace
}  // namespace velarium::testing
