#pragma once

// What the corpus says each frame of an animation must be, in GStreamer's
// terms. Times: the timing file's durations are summed exactly as rationals;
// a frame starts at that sum rounded to the nearest nanosecond (halves up),
// and lasts until the next frame's rounded start, so that consecutive buffers
// neither overlap nor leave gaps.

#include <gst/gst.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "Pipeline.h"
#include "support/Corpus.h"

namespace velarium::gsttest {

struct ExpectedAnimation {
    std::string format;  // as Pipeline::format(): no size when the corpus says none, 0/1 when the durations vary
    std::vector<Frame> frames;
    GstClockTime total = 0;
};

// The picture size: from the corpus catalogue (file, folder, bytes, width,
// height…), or from a vector's name (…_WxH_…); 0×0 when neither says it.
inline std::pair<int, int> pictureSize(const std::string& name) {
    int width = 0, height = 0;
    char end = 0;
    for (const std::string& row : testing::readLines(testing::corpusDir() / "anim" / "CATALOG.tsv"))
        if (row.starts_with(name + "\t") &&
            std::sscanf(row.c_str() + name.size(), "\t%*[^\t]\t%*[^\t]\t%d\t%d", &width, &height) == 2)
            return {width, height};
    for (std::size_t at = name.find('_'); at != std::string::npos; at = name.find('_', at + 1))
        if (std::sscanf(name.c_str() + at, "_%dx%d%c", &width, &height, &end) == 3 && end == '_')
            return {width, height};
    return {0, 0};
}

inline ExpectedAnimation expectedAnimation(const testing::CorpusAnimation& animation) {
    ExpectedAnimation out;
    const auto hashes = testing::readLines(animation.expectedHashes);
    const auto durations = testing::expectedDurations(animation.expectedTiming);
    __int128 numerator = 0, denominator = 1;  // the running sum, exactly
    GstClockTime start = 0;
    for (std::size_t i = 0; i < hashes.size() && i < durations.size(); ++i) {
        const std::int64_t value = durations[i].value, timescale = durations[i].timescale;
        const __int128 common = std::lcm<std::int64_t, std::int64_t>(std::int64_t(denominator), timescale);
        numerator = numerator * (common / denominator) + __int128(value) * (common / timescale);
        denominator = common;
        const auto end = GstClockTime((2 * numerator * GST_SECOND + denominator) / (2 * denominator));
        out.frames.push_back({hashes[i], start, end - start});
        start = end;
    }
    out.total = start;
    const auto sameAsFirst = [&](const MediaTime& d) {
        return __int128(d.value) * durations[0].timescale == __int128(durations[0].value) * d.timescale;
    };
    std::string rate = "0/1";
    if (!durations.empty() && std::all_of(durations.begin(), durations.end(), sameAsFirst)) {
        const std::int64_t divisor = std::gcd<std::int64_t, std::int64_t>(durations[0].value, durations[0].timescale);
        rate = std::to_string(durations[0].timescale / divisor) + "/" + std::to_string(durations[0].value / divisor);
    }
    const auto [width, height] = pictureSize(animation.name);
    out.format = "BGRA " + std::to_string(width) + "x" + std::to_string(height) + " at " + rate;
    return out;
}

// An animation played with the file pulled or pushed, named so in test names.
using CorpusRun = std::tuple<testing::CorpusAnimation, Scheduling>;
inline std::string corpusRunName(const ::testing::TestParamInfo<CorpusRun>& info) {
    return testing::testNameFrom(std::get<0>(info.param).name) + "_" + name(std::get<1>(info.param));
}

}  // namespace velarium::gsttest
