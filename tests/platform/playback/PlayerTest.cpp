// The player in virtual time: every frame at its presentation time, exact
// for any mix of durations; pause, step, seek; late and dropped frames; no
// start by itself and no looping. (The tool's play test covers the real clock.)
#include <gtest/gtest.h>

#include "PlaybackTestSupport.h"

namespace velarium {
namespace {

using namespace testing;

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override { registerBuiltExtensions(); }

    void open(const SyntheticAnimation& shape, PlayerItemOptions options = {}) {
        file_ = syntheticAnimation(shape);
        item_ = PlayerItem::playerItemWithAsset(Asset::assetWithPath(scratch_.write("movie.anim", file_)), options);
        player_ = std::make_unique<Player>(item_, sink_, clock_);
        ASSERT_EQ(item_->status(), PlayerItemStatus::readyToPlay)
            << item_->error().value_or(Error()).localizedDescription;
    }

    TemporaryFolder scratch_;
    std::vector<std::uint8_t> file_;
    std::shared_ptr<ManualPlaybackClock> clock_ = std::make_shared<ManualPlaybackClock>();
    std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
    std::shared_ptr<PlayerItem> item_;
    std::unique_ptr<Player> player_;
};

TEST_F(PlayerTest, PlaysEveryFrameOnceAtItsExactTimeThenStops) {
    PlayerItemOptions options;
    options.pixelBuffers.bytesPerRowAlignment = 64;  // rows of 37 × 4 bytes padded to 192
    // At 25 frames per second, frames of 0 or 1 tick last 1/25 s; the others their ticks.
    open({.width = 37, .height = 9, .ticks = {1, 7, 0, 3, 30, 1}, .dpanSpeed = 25}, options);
    EXPECT_TRUE(sink_->frames().empty()) << "nothing is shown before play";
    EXPECT_EQ(player_->rate(), 0.0f);

    player_->play();
    player_->waitUntilStopped();
    const MediaTime durations[] = {MediaTime::make(1, 25), sixtieths(7), MediaTime::make(1, 25),
                                   sixtieths(3),           sixtieths(30), MediaTime::make(1, 25)};
    const auto frames = sink_->frames();
    const auto expected = coreFrameHashes(file_);
    ASSERT_EQ(frames.size(), 6u);
    MediaTime start = MediaTime::zero();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].frame.index, i);
        EXPECT_EQ(frames[i].frame.presentationTime, start) << i;
        EXPECT_EQ(frames[i].frame.hostTime, start) << i;
        EXPECT_FALSE(frames[i].frame.hostTime.hasBeenRounded());
        EXPECT_EQ(frames[i].frame.duration, durations[i]) << i;
        EXPECT_FALSE(frames[i].frame.late);
        EXPECT_EQ(frames[i].hash, expected[i]) << "frame " << i;
        EXPECT_EQ(frames[i].bytesPerRow, 192u);
        EXPECT_NE(frames[i].thread, std::this_thread::get_id());
        start = start + durations[i];
    }
    EXPECT_EQ(start, MediaTime::make(3 * 60 + 40 * 25, 25 * 60));
    const PlaybackStatistics statistics = player_->statistics();
    EXPECT_EQ(statistics.framesShown, 6u);
    EXPECT_EQ(statistics.framesLate, 0u);
    EXPECT_EQ(statistics.framesDropped, 0u);
    EXPECT_EQ(statistics.firstPlayHostTime, MediaTime::zero());
    EXPECT_EQ(statistics.endHostTime, start);
    EXPECT_TRUE(player_->isAtEnd());
    EXPECT_EQ(player_->currentTime(), start);

    // No looping: play at the end does nothing.
    player_->play();
    player_->waitUntilStopped();
    EXPECT_EQ(sink_->frames().size(), 6u);
    EXPECT_EQ(player_->rate(), 0.0f);
}

TEST_F(PlayerTest, PauseStepAndSeek) {
    open({.ticks = {5, 5, 5, 5, 5, 5}});
    sink_->onFrame = [&](const PresentedFrame& frame) {
        if (frame.index == 2) player_->pause();
    };
    player_->play();
    player_->waitUntilStopped();
    EXPECT_EQ(sink_->indices(), (std::vector<std::uint64_t>{0, 1, 2}));
    EXPECT_EQ(player_->currentTime(), sixtieths(10));
    sink_->onFrame = nullptr;

    struct Step {
        std::int64_t count;
        std::uint64_t shown;
    } steps[] = {{1, 3}, {-10, 0}, {100, 5}, {-1, 4}};
    for (const auto& step : steps) {
        Error error;
        ASSERT_TRUE(player_->stepByCount(step.count, &error)) << error.localizedDescription;
        EXPECT_EQ(sink_->frames().back().frame.index, step.shown) << "step by " << step.count;
        EXPECT_EQ(player_->currentTime(), sixtieths(5 * static_cast<std::int64_t>(step.shown)));
        EXPECT_EQ(player_->rate(), 0.0f);
    }

    ASSERT_TRUE(player_->seekToTime(sixtieths(12)));
    EXPECT_EQ(sink_->frames().back().frame.index, 2u);
    EXPECT_EQ(player_->currentTime(), sixtieths(12));

    const MediaTime resumedAt = clock_->now();
    const std::size_t before = sink_->frames().size();
    player_->play();
    player_->waitUntilStopped();
    const auto frames = sink_->frames();
    ASSERT_EQ(frames.size(), before + 3);
    for (std::size_t k = 0; k < 3; ++k) {
        const auto& frame = frames[before + k].frame;
        EXPECT_EQ(frame.index, 3 + k);
        EXPECT_EQ(frame.hostTime, resumedAt + sixtieths(3 + 5 * static_cast<std::int64_t>(k)));
    }
    EXPECT_TRUE(player_->isAtEnd());

    // Seeking back from the end makes the item playable again.
    ASSERT_TRUE(player_->seekToTime(MediaTime::zero()));
    EXPECT_FALSE(player_->isAtEnd());
    EXPECT_EQ(sink_->frames().back().frame.index, 0u);
    EXPECT_FALSE(player_->seekToTime(MediaTime::invalid()));
}

TEST_F(PlayerTest, SlowPresentationMakesFramesLateOrDropsThem) {
    open({.ticks = {5, 5, 5, 5, 5}});
    // Showing frame 1 takes 12/60 s: frame 2 is then past, frame 3 late.
    sink_->onFrame = [&](const PresentedFrame& frame) {
        if (frame.index == 1) clock_->advance(sixtieths(12));
    };
    player_->play();
    player_->waitUntilStopped();
    const auto frames = sink_->frames();
    EXPECT_EQ(sink_->indices(), (std::vector<std::uint64_t>{0, 1, 3, 4}));
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_TRUE(frames[2].frame.late);
    EXPECT_EQ(frames[2].frame.hostTime, sixtieths(17));
    EXPECT_FALSE(frames[3].frame.late);
    EXPECT_EQ(frames[3].frame.hostTime, sixtieths(20));
    const PlaybackStatistics statistics = player_->statistics();
    EXPECT_EQ(statistics.framesShown, 4u);
    EXPECT_EQ(statistics.framesLate, 1u);
    EXPECT_EQ(statistics.framesDropped, 1u);
    EXPECT_EQ(statistics.endHostTime, sixtieths(25));
}

}  // namespace
}  // namespace velarium
