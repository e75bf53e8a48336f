#include "platform/coremedia/MediaTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace velarium {
namespace {

// Frame times are running sums of ticks of 1/60 s and of 1/DPAN speed: they
// must add up exactly, or frames drift against each other.
TEST(MediaTime, AdditionIsExactAcrossTimescales) {
    const struct {
        MediaTime a, b;
        std::int64_t value;
        std::int32_t timescale;
    } cases[] = {
        {MediaTime::make(1, 60), MediaTime::make(1, 25), 17, 300},
        {MediaTime::make(9, 25), MediaTime::make(1, 25), 10, 25},  // a running total keeps its timescale
        {MediaTime::zero(), MediaTime::make(1, 25), 1, 25},
        {MediaTime::make(-1, 30), MediaTime::make(1, 20), 1, 60},
    };
    for (const auto& c : cases) {
        const MediaTime sum = c.a + c.b;
        EXPECT_FALSE(sum.hasBeenRounded());
        EXPECT_EQ(sum.value, c.value) << c.a.description() << " + " << c.b.description();
        EXPECT_EQ(sum.timescale, c.timescale);
    }
}

TEST(MediaTime, ComparesByValueAndInvalidStaysInvalid) {
    EXPECT_EQ(MediaTime::make(1, 2), MediaTime::make(30, 60));
    EXPECT_LT(MediaTime::make(1, 60), MediaTime::make(1, 25));
    EXPECT_GT(MediaTime::make(std::numeric_limits<std::int64_t>::max(), 1), MediaTime::make(1, 1000000000));
    EXPECT_GT(MediaTime::positiveInfinity(), MediaTime::make(std::numeric_limits<std::int64_t>::max(), 1));
    EXPECT_GT(MediaTime::invalid(), MediaTime::positiveInfinity());
    EXPECT_FALSE(MediaTime::make(1, 0).isValid());
    EXPECT_FALSE((MediaTime::invalid() + MediaTime::make(1, 1)).isValid());
    EXPECT_FALSE((MediaTime::positiveInfinity() + MediaTime::negativeInfinity()).isValid());
    EXPECT_TRUE(std::isnan(MediaTime::invalid().seconds()));
}

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
