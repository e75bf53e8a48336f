#pragma once

// For the WebP and GIF tests: pictures an export shows with their starts,
// and the encoders driven directly with pictures made up in the test.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "export/AnimationEncoder.h"
#include "ExportReadBack.h"

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

// One lap of an export of the whole file as pictures with their exact
// starts, in seconds.
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
