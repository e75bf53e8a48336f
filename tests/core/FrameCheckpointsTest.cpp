// Checkpoints of the decoding state: how far apart they are for a memory
// limit, and that frames delivered in any order through them are the frames
// of a straight decode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SeekTestSupport.h"
#include "core/FrameCheckpoints.h"
#include "support/SyntheticAnimations.h"

namespace velarium {
namespace {

using namespace velarium::testing;

constexpr std::uint64_t kMiB = 1024 * 1024;

TEST(FrameCheckpoints, SpacingSpreadsTheCopiesOverTheAnimationWithinTheLimit) {
    const struct {
        const char* name;
        std::uint64_t frames, bufferBytes, limit;
        std::uint64_t interval, copies;
    } cases[] = {
        // 640×512×8: 327,680 bytes a buffer; 5,000 × 640 KiB / 64 MiB = 48.8.
        {"long animation", 5000, 327680, 64 * kMiB, 49, 102},
        // 1280×720×8: 921,600 bytes a buffer; 202 × 1.8 MB / 64 MiB = 5.5, under the minimum.
        {"large pictures, few frames", 202, 921600, 64 * kMiB, 8, 25},
        {"spaced by the limit", 100, 50, 1000, 10, 9},
        {"short animation", 20, 100, 64 * kMiB, 8, 2},
        {"limit below one copy", 100, 1000, 1999, 0, 0},
        {"off", 100, 10, 0, 0, 0},
        {"single frame", 1, 10, 64 * kMiB, 0, 0},
    };
    for (const auto& c : cases) {
        FrameCheckpoints checkpoints;
        checkpoints.plan(c.frames, c.bufferBytes, c.limit);
        EXPECT_EQ(checkpoints.interval(), c.interval) << c.name;
        std::uint64_t copies = 0;
        for (std::uint64_t frame = 0; frame < c.frames; ++frame) copies += checkpoints.wants(frame);
        EXPECT_EQ(copies, c.copies) << c.name;
        EXPECT_LE(copies * 2 * c.bufferBytes, c.limit) << c.name;
    }
}

// ANIM-5 deltas against the frame two back leave the two working buffers
// holding different pictures, so a checkpoint that mixed them up would show.
TEST(FrameCheckpoints, RandomSeeksDeliverTheFramesOfAStraightDecode) {
    const SyntheticAnimation shape{.width = 64, .height = 24, .planes = 3,
                                   .ticks = std::vector<std::uint32_t>(150, 1), .byteVerticalDeltas = true};
    const SharedBytes file = makeSharedBytes(syntheticAnimation(shape));

    ANIMParser straight(file);
    ASSERT_TRUE(straight.parseWithError(nullptr));
    straight.setCheckpointMemoryLimit(0);
    std::vector<std::string> expected;
    Bytes frame(straight.width() * straight.height() * 4);
    for (std::uint64_t i = 0; i < straight.numFrames(); ++i) {
        ASSERT_TRUE(straight.decodeFrameAtIndex(i, frame, nullptr));
        expected.push_back(sha256Hex(frame));
    }

    ANIMParser parser(file);
    ASSERT_TRUE(parser.parseWithError(nullptr));
    std::uint32_t seed = 1;
    for (const auto& limit : checkpointLimitsFor(parser)) expectRandomSeeksMatch(parser, expected, limit, seed++);

    // With room for every frame the copies come every kMinInterval frames and all of them are taken.
    parser.setCheckpointMemoryLimit(checkpointLimitsFor(parser)[1].bytes);
    for (std::uint64_t i = 0; i < parser.numFrames(); ++i) ASSERT_TRUE(parser.decodeFrameAtIndex(i, frame, nullptr));
    EXPECT_EQ(parser.checkpointInterval(), FrameCheckpoints::kMinInterval);
    const std::uint64_t copies = (parser.numFrames() - 1) / FrameCheckpoints::kMinInterval;
    EXPECT_EQ(parser.checkpointMemoryUsage(), copies * 2 * parser.geometry().bufferSize());
}

}  // namespace
}  // namespace velarium
