// WebM and MP4 exports, made as users make them (exportAnimation at the
// default scale), read back by ffmpeg: every picture arrives once, at its
// start to the millisecond, tagged BT.709 limited range, and close to its
// source scaled the same way (PSNR per frame, in RGB).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "ExportReadBack.h"
#include "export/AnimationEncoder.h"
#include "export/ExportError.h"
#include "export/Exporter.h"
#include "export/MovieSource.h"
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

std::string quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// ffprobe's "key=value" lines (-of default=nw=1), in order.
std::vector<std::pair<std::string, std::string>> probe(const std::string& input, const std::string& entries) {
    std::istringstream lines(run("ffprobe -v error -select_streams v:0 -show_entries " + entries +
                                 " -of default=nw=1 " + input));
    std::vector<std::pair<std::string, std::string>> out;
    for (std::string line; std::getline(lines, line);)
        if (const auto eq = line.find('='); eq != std::string::npos)
            out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    return out;
}

// The colour tags as "range/matrix/primaries/transfer".
std::string colourTags(const std::string& input) {
    std::map<std::string, std::string> tags;
    for (const auto& [key, value] : probe(input, "stream=color_range,color_space,color_primaries,color_transfer"))
        tags[key] = value;
    return tags["color_range"] + "/" + tags["color_space"] + "/" + tags["color_primaries"] + "/" +
           tags["color_transfer"];
}

// The source's pictures as an export shows them (Deluxe Paint's wrap-up
// frames dropped, identical neighbours merged), as RGBA scaled up (nearest
// neighbour) to `scaledWidth`.
std::vector<Picture> sourcePictures(const std::filesystem::path& file, std::uint64_t scaledWidth) {
    Error error;
    auto movie = MovieSource::open(file.string(), &error);
    if (!movie) {
        ADD_FAILURE() << error.localizedDescription;
        return {};
    }
    std::vector<std::vector<std::uint8_t>> frames(movie->sampleTimes().size());
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (!movie->decodeFrame(i, frames[i], &error)) ADD_FAILURE() << error.localizedDescription;
    const std::size_t n = frames.size();
    if (n >= 4 && frames[n - 2] == frames[0] && frames[n - 1] == frames[1]) frames.resize(n - 2);
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());

    const std::uint64_t width = movie->width(), height = movie->height(), scale = scaledWidth / width;
    std::vector<Picture> pictures;
    for (const auto& bgra : frames) {
        Picture& picture = pictures.emplace_back(
            Picture{width * scale, height * scale, std::vector<std::uint8_t>(width * height * scale * scale * 4)});
        for (std::uint64_t y = 0; y < picture.height; ++y)
            for (std::uint64_t x = 0; x < picture.width; ++x) {
                const std::uint8_t* in = &bgra[((y / scale) * width + x / scale) * 4];
                std::uint8_t* out = &picture.rgba[(y * picture.width + x) * 4];
                out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = 255;
            }
    }
    return pictures;
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
    ExportOptions options;
    options.format = c.format;
    ExportReport report;
    Error error;
    ASSERT_TRUE(exportAnimation(animations[0].file.string(), output.string(), options, {}, &report, &error))
        << error.localizedDescription;

    const ExpectedExport expected = expectedExport(animations[0]);
    ASSERT_EQ(report.frames, expected.hashes.size());
    EXPECT_EQ(colourTags(quoted(output)), "tv/bt709/bt709/bt709");

    std::map<std::string, std::uint64_t> size;
    for (const auto& [key, value] : probe(quoted(output), "stream=width,height")) size[key] = std::stoull(value);
    const std::uint64_t stride = size["width"];
    ASSERT_EQ(stride, (report.width + 1) & ~1ull);
    ASSERT_EQ(size["height"], (report.height + 1) & ~1ull);
    const std::string pixels =
        run("ffmpeg -v error -i " + quoted(output) + " -fps_mode passthrough -f rawvideo -pix_fmt rgba -");
    const std::size_t frameBytes = stride * size["height"] * 4;
    ASSERT_EQ(pixels.size(), report.frames * frameBytes);

    std::vector<double> starts;
    for (const auto& [key, value] : probe(quoted(output), "frame=pts_time")) starts.push_back(std::stod(value));
    ASSERT_EQ(starts.size(), report.frames);

    const auto sources = sourcePictures(animations[0].file, report.width);
    ASSERT_EQ(sources.size(), report.frames);
    MediaTime exact = MediaTime::zero();
    double lowest = 99;
    for (std::size_t i = 0; i < report.frames; ++i) {
        EXPECT_NEAR(starts[i], exact.seconds(), 0.001) << "picture " << i;
        exact = exact + expected.durations[i];
        const double db = psnr(sources[i], reinterpret_cast<const std::uint8_t*>(pixels.data()) + i * frameBytes,
                               stride);
        lowest = std::min(lowest, db);
        EXPECT_GE(db, c.minimumPSNR) << "picture " << i;
    }
    std::printf("%s %s %llux%llu: lowest PSNR %.2f dB over %llu pictures\n", c.name.c_str(), formatName(c.format),
                (unsigned long long)report.width, (unsigned long long)report.height, lowest,
                (unsigned long long)report.frames);
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
                             std::string name = std::string(formatName(info.param.format)) + "_" + info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
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
