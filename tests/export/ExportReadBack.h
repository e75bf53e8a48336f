#pragma once

// What an export of a corpus animation must show, for every format's read-back
// tests: the pictures (SHA-256 of their BGRA bytes, or as decoded) and
// durations, wrap-up frames dropped and identical neighbours merged; and the
// encoders driven directly with made-up pictures.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "export/AnimationEncoder.h"
#include "export/Exporter.h"
#include "export/MovieSource.h"
#include "platform/coremedia/MediaTime.h"
#include "support/Corpus.h"
#include "support/Hashing.h"

namespace velarium::testing {

// The whole file exported as `format` into `output`, as a user exports it:
// the report, or nothing (and the test failed).
inline std::optional<exporter::ExportReport> exportAs(const std::filesystem::path& source,
                                                      const std::filesystem::path& output, exporter::ExportFormat format) {
    exporter::ExportOptions options;
    options.format = format;
    exporter::ExportReport report;
    Error error;
    if (exporter::exportAnimation(source.string(), output.string(), options, {}, &report, &error)) return report;
    ADD_FAILURE() << error.localizedDescription;
    return std::nullopt;
}

struct ExpectedExport {
    std::vector<std::string> hashes;
    std::vector<MediaTime> durations;
};

inline ExpectedExport expectedExport(const CorpusAnimation& animation) {
    const auto hashes = readLines(animation.expectedHashes);
    auto durations = expectedDurations(animation.expectedTiming);
    std::size_t count = hashes.size();
    // Deluxe Paint's wrap-up frames: the last two repeat the first two.
    if (count >= 4 && hashes[count - 2] == hashes[0] && hashes[count - 1] == hashes[1]) {
        durations[0] = durations[count - 2];
        durations[1] = durations[count - 1];
        count -= 2;
    }
    ExpectedExport expected;
    for (std::size_t i = 0; i < count; ++i) {
        if (!expected.hashes.empty() && expected.hashes.back() == hashes[i]) {
            expected.durations.back() = expected.durations.back() + durations[i];
            continue;
        }
        expected.hashes.push_back(hashes[i]);
        expected.durations.push_back(durations[i]);
    }
    return expected;
}

// The hash the corpus gives a picture that an export read back as RGBA: its
// BGRA bytes. The corpus's pictures are opaque except for a brush's
// transparent colour, which has alpha 0 and keeps its RGB.
inline std::string hashAsExpected(const std::vector<std::uint8_t>& rgba) {
    std::vector<std::uint8_t> bgra(rgba.size());
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        bgra[i] = rgba[i + 2];
        bgra[i + 1] = rgba[i + 1];
        bgra[i + 2] = rgba[i];
        bgra[i + 3] = rgba[i + 3];
    }
    return sha256Hex(bgra);
}

// A picture an export shows from `start` (seconds) for `duration`.
struct ShownPicture {
    std::string hash;  // as hashAsExpected
    double start = 0, duration = 0;
};

// One lap of an export of the whole file: pictures with their exact starts, in seconds.
inline std::vector<ShownPicture> expectedLap(const CorpusAnimation& animation) {
    const ExpectedExport expected = expectedExport(animation);
    std::vector<ShownPicture> lap;
    MediaTime start = MediaTime::zero();
    for (std::size_t i = 0; i < expected.hashes.size(); ++i) {
        lap.push_back({expected.hashes[i], start.seconds(), expected.durations[i].seconds()});
        start = start + expected.durations[i];
    }
    return lap;
}

// The source's pictures as an export shows them, decoded by the exporter's
// own source, as RGBA scaled up (nearest neighbour) to `scaledWidth`.
inline std::vector<exporter::Picture> sourcePictures(const std::filesystem::path& file, std::uint64_t scaledWidth) {
    Error error;
    auto movie = exporter::MovieSource::open(file.string(), &error);
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
    std::vector<exporter::Picture> pictures;
    for (const auto& bgra : frames) {
        exporter::Picture& picture = pictures.emplace_back(exporter::Picture{
            width * scale, height * scale, std::vector<std::uint8_t>(width * height * scale * scale * 4)});
        for (std::uint64_t y = 0; y < picture.height; ++y)
            for (std::uint64_t x = 0; x < picture.width; ++x) {
                const std::uint8_t* in = &bgra[((y / scale) * width + x / scale) * 4];
                std::uint8_t* out = &picture.rgba[(y * picture.width + x) * 4];
                out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = in[3];
            }
    }
    return pictures;
}

// Encodes made-up pictures, each shown for its duration (of the 60 Hz clock
// ANIM files count in), straight into `path`; the encoder, for its counts.
inline std::unique_ptr<exporter::AnimationEncoder> encodePictures(std::unique_ptr<exporter::AnimationEncoder> encoder,
                                                                  const std::filesystem::path& path,
                                                                  const std::vector<exporter::Picture>& pictures,
                                                                  const std::vector<MediaTime>& durations,
                                                                  bool loop = true) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    exporter::EncoderSetup setup{fd, path.string(), pictures[0].width, pictures[0].height, pictures.size(), loop};
    Error error;
    EXPECT_TRUE(encoder->begin(setup, &error)) << error.localizedDescription;
    MediaTime start = MediaTime::zero();
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_TRUE(encoder->addPicture(pictures[i], start, durations[i], &error)) << error.localizedDescription;
        start = start + durations[i];
    }
    EXPECT_TRUE(encoder->finish(&error)) << error.localizedDescription;
    ::close(fd);
    return encoder;
}

}  // namespace velarium::testing
