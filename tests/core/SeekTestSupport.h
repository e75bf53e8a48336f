#pragma once

// Random frame requests for the checkpoint tests: a repeatable seek order,
// the checkpoint memory limits worth trying on a file, and the check that
// every picture delivered in that order is the one decoding straight
// through gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/ANIMParser.h"
#include "support/Hashing.h"

namespace velarium::testing {

// Every frame twice, in two seeded shuffles: long jumps both ways, short
// steps forward into the frame in hand, and repeats.
inline std::vector<std::uint64_t> randomSeekOrder(std::uint64_t frames, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint64_t> order;
    for (int round = 0; round < 2; ++round) {
        std::vector<std::uint64_t> shuffled(frames);
        std::iota(shuffled.begin(), shuffled.end(), 0);
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        order.insert(order.end(), shuffled.begin(), shuffled.end());
    }
    return order;
}

struct CheckpointLimit {
    std::string name;
    std::uint64_t bytes;
};

// Off; room for a copy at every frame, which gives the smallest spacing;
// room for three copies, which spreads them far apart; the default.
inline std::vector<CheckpointLimit> checkpointLimitsFor(const ANIMParser& parser) {
    const std::uint64_t state = 2 * parser.geometry().bufferSize();
    return {{"off", 0},
            {"every frame's room", parser.numFrames() * state},
            {"three copies", 3 * state},
            {"default", ANIMParser::kDefaultCheckpointMemoryLimit}};
}

// Requests the frames in a random order under `limit` and compares each
// picture with `expected` (one SHA-256 per frame, straight through).
inline void expectRandomSeeksMatch(ANIMParser& parser, const std::vector<std::string>& expected,
                                   const CheckpointLimit& limit, std::uint32_t seed) {
    SCOPED_TRACE("checkpoint limit " + limit.name);
    parser.setCheckpointMemoryLimit(limit.bytes);
    Bytes frame(parser.width() * parser.height() * 4);
    for (std::uint64_t index : randomSeekOrder(parser.numFrames(), seed)) {
        const std::int64_t from = parser.lastDecodedFrame();
        Error error;
        ASSERT_TRUE(parser.decodeFrameAtIndex(index, frame, &error)) << error.localizedDescription;
        ASSERT_EQ(sha256Hex(frame), expected[index]) << "frame " << index << " requested after frame " << from;
        ASSERT_EQ(parser.lastDecodedFrame(), static_cast<std::int64_t>(index));
    }
    EXPECT_LE(parser.checkpointMemoryUsage(), limit.bytes);
}

}  // namespace velarium::testing
