#pragma once

// What the corpus says each frame of an animation must be, in GStreamer's
// terms. Times: the timing file's durations are summed exactly as rationals;
// a frame starts at that sum rounded to the nearest nanosecond (halves up),
// and lasts until the next frame's rounded start, so that consecutive buffers
// neither overlap nor leave gaps.

#include <gst/gst.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/Corpus.h"

namespace velarium::gsttest {

struct ExpectedFrame {
    std::string sha256;
    GstClockTime pts;
    GstClockTime duration;
};

struct PictureSize {
    int width = 0, height = 0;
};

struct ExpectedAnimation {
    std::optional<PictureSize> size;  // where the corpus says it
    std::vector<ExpectedFrame> frames;
    GstClockTime total = 0;
    int framerateNumerator = 0, framerateDenominator = 1;  // 0/1 when the durations vary
};

// value / timescale seconds in nanoseconds, nearest, halves up.
inline GstClockTime roundedNanoseconds(__int128 value, __int128 timescale) {
    return GstClockTime((2 * value * GST_SECOND + timescale) / (2 * timescale));
}

// The picture size: from the corpus catalogue, or from a vector's name (…_WxH_…).
inline std::optional<PictureSize> catalogueSize(const testing::CorpusAnimation& animation) {
    static const std::map<std::string, PictureSize> catalogue = [] {
        std::map<std::string, PictureSize> sizes;
        const auto rows = testing::readLines(testing::corpusDir() / "anim" / "CATALOG.tsv");
        for (std::size_t i = 1; i < rows.size(); ++i) {  // after the header: file, folder, bytes, width, height…
            std::istringstream row(rows[i]);
            std::string file, folder, bytes;
            PictureSize size;
            std::getline(row, file, '\t');
            std::getline(row, folder, '\t');
            std::getline(row, bytes, '\t');
            row >> size.width >> size.height;
            sizes[file] = size;
        }
        return sizes;
    }();
    if (const auto it = catalogue.find(animation.name); it != catalogue.end()) return it->second;
    for (std::size_t at = animation.name.find('_'); at != std::string::npos; at = animation.name.find('_', at + 1)) {
        PictureSize size;
        char x = 0, end = 0;
        std::istringstream field(animation.name.substr(at + 1));
        if (field >> size.width >> x >> size.height >> end && x == 'x' && end == '_') return size;
    }
    return std::nullopt;
}

inline ExpectedAnimation expectedAnimation(const testing::CorpusAnimation& animation) {
    ExpectedAnimation out;
    out.size = catalogueSize(animation);
    const auto hashes = testing::readLines(animation.expectedHashes);
    const auto rows = testing::readLines(animation.expectedTiming);
    struct Duration {
        std::int64_t value, timescale;
    };
    std::vector<Duration> durations;
    for (std::size_t i = 1; i < rows.size(); ++i) {  // after the header row
        std::istringstream row(rows[i]);
        long long index, value, timescale;
        row >> index >> value >> timescale;
        durations.push_back({value, timescale});
    }
    // The running sum as numerator / denominator, exactly.
    __int128 numerator = 0, denominator = 1;
    GstClockTime start = 0;
    for (std::size_t i = 0; i < hashes.size() && i < durations.size(); ++i) {
        const Duration d = durations[i];
        const __int128 common = std::lcm<std::int64_t, std::int64_t>(std::int64_t(denominator), d.timescale);
        numerator = numerator * (common / denominator) + __int128(d.value) * (common / d.timescale);
        denominator = common;
        const GstClockTime end = roundedNanoseconds(numerator, denominator);
        out.frames.push_back({hashes[i], start, end - start});
        start = end;
    }
    out.total = start;
    const bool constant = !durations.empty() && std::all_of(durations.begin(), durations.end(), [&](const Duration& d) {
        return __int128(d.value) * durations[0].timescale == __int128(durations[0].value) * d.timescale;
    });
    if (constant) {
        const std::int64_t divisor = std::gcd(durations[0].value, durations[0].timescale);
        out.framerateNumerator = int(durations[0].timescale / divisor);
        out.framerateDenominator = int(durations[0].value / divisor);
    }
    return out;
}

}  // namespace velarium::gsttest
