#pragma once

// What the picture exports are checked against: the pictures they should
// show, and the encoders driven directly with pictures made up in the test.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "export/AnimationEncoder.h"
#include "support/Corpus.h"
#include "support/Hashing.h"

namespace velarium::testing {

// A picture an export shows from `start` (seconds) for `duration`.
struct ShownPicture {
    std::string hash;  // SHA-256 of the BGRA picture, alpha 255
    double start = 0;
    double duration = 0;
};

// Consecutive pictures with the same hash become one, with their durations added.
inline std::vector<ShownPicture> merged(const std::vector<ShownPicture>& pictures) {
    std::vector<ShownPicture> out;
    for (const ShownPicture& picture : pictures) {
        if (!out.empty() && out.back().hash == picture.hash)
            out.back().duration += picture.duration;
        else
            out.push_back(picture);
    }
    return out;
}

// One lap of an export of the whole file, from the expected frames: the two
// frames that rebuild frames 0 and 1 at the end are left out and lend frames
// 0 and 1 their durations; identical neighbours merged.
inline std::vector<ShownPicture> expectedLap(const CorpusAnimation& animation) {
    const auto hashes = readLines(animation.expectedHashes);
    const auto durations = expectedDurations(animation.expectedTiming);
    std::vector<double> seconds;
    for (const MediaTime& d : durations) seconds.push_back(d.seconds());
    std::size_t count = hashes.size();
    if (count >= 4 && hashes[count - 2] == hashes[0] && hashes[count - 1] == hashes[1]) {
        seconds[0] = seconds[count - 2];
        seconds[1] = seconds[count - 1];
        count -= 2;
    }
    std::vector<ShownPicture> lap;
    double start = 0;
    for (std::size_t i = 0; i < count; ++i) {
        lap.push_back({hashes[i], start, seconds[i]});
        start += seconds[i];
    }
    return merged(lap);
}

// The hash of an RGBA picture as the corpus hashes frames: BGRA, alpha 255.
inline std::string pictureHash(const std::vector<std::uint8_t>& rgba) {
    std::vector<std::uint8_t> bgra(rgba.size());
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        bgra[i] = rgba[i + 2], bgra[i + 1] = rgba[i + 1], bgra[i + 2] = rgba[i];
        bgra[i + 3] = 255;
    }
    return sha256Hex(bgra);
}

// Encodes made-up pictures, each shown for its duration (seconds as a
// rational of the 60 Hz clock ANIM files count in), straight through an
// encoder into `path`. Returns the encoder for its counts.
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
