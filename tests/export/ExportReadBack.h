#pragma once

// What an export of a corpus animation must show, for the read-back tests
// of every format: the expected pictures (by SHA-256 of their BGRA bytes)
// and durations, after the wrap-up frames are dropped and identical
// neighbours merged.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/coremedia/MediaTime.h"
#include "support/Corpus.h"
#include "support/Hashing.h"

namespace velarium::testing {

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

}  // namespace velarium::testing
