// Checkpoints of the decoding state: how far apart they are for a memory
// limit. That frames delivered through them are right is checked on the
// corpus (CorpusTest).
#include <gtest/gtest.h>

#include "core/FrameCheckpoints.h"

namespace velarium {
namespace {

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

}  // namespace
}  // namespace velarium
