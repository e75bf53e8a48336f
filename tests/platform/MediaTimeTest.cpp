#include "platform/coremedia/MediaTime.h"

#include <gtest/gtest.h>

#include <limits>

namespace velarium {
namespace {

// Times from other hosts (a GStreamer seek, say) can be as large as the type
// allows; exact sums are checked where they are made (frame table, schedule).
TEST(MediaTime, OverflowIsNeverSilent) {
    const auto big = MediaTime::make(std::numeric_limits<std::int64_t>::max(), 1);
    EXPECT_TRUE((big + MediaTime::make(1, 1)).isPositiveInfinity());
    EXPECT_TRUE((-big - MediaTime::make(2, 1)).isNegativeInfinity());
    // Co-prime timescales whose common multiple does not fit in 32 bits.
    const auto sum = MediaTime::make(1, 2147483647) + MediaTime::make(1, 2147483629);
    EXPECT_TRUE(sum.hasBeenRounded());
    EXPECT_NEAR(sum.seconds(), 2.0 / 2147483640.0, 1e-15);
    // Exact addition whose value no longer fits in 64 bits.
    EXPECT_TRUE((MediaTime::make(std::numeric_limits<std::int64_t>::max() / 2, 2) + MediaTime::make(1, 3)).isPositiveInfinity());
    const auto rounded = MediaTime::make(1, 3).convertScale(10);
    EXPECT_EQ(rounded.value, 3);
    EXPECT_TRUE(rounded.hasBeenRounded());
}

}  // namespace
}  // namespace velarium
