// Decodes every corpus animation and compares each frame's BGRA picture and
// duration with the expected results made by established decoders, in order
// and in random orders through the decoder's checkpoints.
#include <gtest/gtest.h>

#include "SeekTestSupport.h"
#include "core/ANIMParser.h"
#include "support/Corpus.h"
#include "support/Hashing.h"

namespace velarium {
namespace {

using testing::CorpusAnimation;

class CorpusAnimationTest : public ::testing::TestWithParam<CorpusAnimation> {};

TEST_P(CorpusAnimationTest, FramesAndDurationsMatchExpected) {
    const CorpusAnimation& anim = GetParam();
    ANIMParser parser(makeSharedBytes(testing::readFileBytes(anim.file)));
    Error error;
    ASSERT_TRUE(parser.parseWithError(&error)) << error.localizedDescription;

    const auto hashes = testing::readLines(anim.expectedHashes);
    ASSERT_EQ(parser.numFrames(), hashes.size());

    const auto durations = testing::expectedDurations(anim.expectedTiming);
    ASSERT_EQ(durations.size(), parser.numFrames());
    for (std::uint64_t i = 0; i < parser.numFrames(); ++i)
        EXPECT_EQ(parser.frameAtIndex(i).duration, durations[i])
            << "frame " << i << " lasts " << parser.frameAtIndex(i).duration.description();

    Bytes frame(parser.width() * parser.height() * 4);
    for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
        ASSERT_TRUE(parser.decodeFrameAtIndex(i, frame, &error));
        EXPECT_EQ(testing::sha256Hex(frame), hashes[i]) << "frame " << i;
    }
}

TEST_P(CorpusAnimationTest, RandomSeeksMatchExpected) {
    const CorpusAnimation& anim = GetParam();
    ANIMParser parser(makeSharedBytes(testing::readFileBytes(anim.file)));
    ASSERT_TRUE(parser.parseWithError(nullptr));
    const auto hashes = testing::readLines(anim.expectedHashes);
    ASSERT_EQ(parser.numFrames(), hashes.size());
    std::uint32_t seed = 7;
    for (const auto& limit : testing::checkpointLimitsFor(parser))
        testing::expectRandomSeeksMatch(parser, hashes, limit, seed++);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusAnimationTest, ::testing::ValuesIn(testing::corpusAnimations()),
                         testing::corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusAnimationTest);

TEST(Corpus, IsPresentOrSkipped) {
    if (!testing::haveCorpus()) GTEST_SKIP() << "corpus not found at " << testing::corpusDir();
    EXPECT_FALSE(testing::corpusAnimations().empty());
}

}  // namespace
}  // namespace velarium
