// Every corpus animation played end to end through the real Farrago and
// Dapple modules: each frame the sink receives must be the expected picture,
// at the expected time.
#include <gtest/gtest.h>

#include "PlaybackTestSupport.h"
#include "support/Corpus.h"

namespace velarium {
namespace {

using testing::CorpusAnimation;

class CorpusPlaybackTest : public ::testing::TestWithParam<CorpusAnimation> {
protected:
    void SetUp() override { testing::registerBuiltExtensions(); }
};

TEST_P(CorpusPlaybackTest, EveryFrameArrivesIntactAndOnTime) {
    const CorpusAnimation& anim = GetParam();
    const auto hashes = testing::readLines(anim.expectedHashes);
    const auto durations = testing::expectedDurations(anim.expectedTiming);
    ASSERT_EQ(hashes.size(), durations.size());

    PlayerItemOptions options;
    options.pixelBuffers.bytesPerRowAlignment = 64;  // padded rows wherever width × 4 is not a multiple of 64
    auto item = PlayerItem::playerItemWithAsset(Asset::assetWithPath(anim.file), options);
    auto sink = std::make_shared<testing::RecordingSink>();
    Player player(item, sink, std::make_shared<ManualPlaybackClock>());
    ASSERT_EQ(item->status(), PlayerItemStatus::readyToPlay) << item->error().value_or(Error()).localizedDescription;
    player.play();
    player.waitUntilStopped();

    const auto frames = sink->frames();
    ASSERT_EQ(frames.size(), hashes.size());
    MediaTime start = MediaTime::zero();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].frame.index, i);
        EXPECT_EQ(frames[i].hash, hashes[i]) << "frame " << i;
        EXPECT_EQ(frames[i].frame.presentationTime, start) << "frame " << i;
        EXPECT_EQ(frames[i].frame.hostTime, start) << "frame " << i;
        start = start + durations[i];
    }
    const PlaybackStatistics statistics = player.statistics();
    EXPECT_EQ(statistics.framesLate, 0u);
    EXPECT_EQ(statistics.framesDropped, 0u);
    EXPECT_EQ(statistics.endHostTime, start);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusPlaybackTest, ::testing::ValuesIn(testing::corpusAnimations()),
                         testing::corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusPlaybackTest);

}  // namespace
}  // namespace velarium
