// The player in virtual time (the tool's play test covers the real clock):
// exact presentation times at any rate; pause, seek; late and dropped
// frames; looping only when asked; state changes; bad files.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <optional>

#include "PlaybackTestSupport.h"
#include "platform/mediaextension/FileByteSource.h"
#include "platform/playback/PlaybackError.h"

namespace velarium {
namespace {

using namespace testing;

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override { registerBuiltExtensions(); }

    void open(const SyntheticAnimation& shape) {
        file_ = syntheticAnimation(shape);
        clock_ = std::make_shared<ManualPlaybackClock>();
        sink_ = std::make_shared<RecordingSink>();
        item_ = PlayerItem::playerItemWithAsset(Asset::assetWithPath(scratch_.write("movie.anim", file_)));
        player_ = std::make_unique<Player>(item_, sink_, clock_);
        ASSERT_EQ(item_->status(), PlayerItemStatus::readyToPlay)
            << item_->error().value_or(Error()).localizedDescription;
    }

    TemporaryFolder scratch_;
    std::vector<std::uint8_t> file_;
    std::shared_ptr<ManualPlaybackClock> clock_;
    std::shared_ptr<RecordingSink> sink_;
    std::shared_ptr<PlayerItem> item_;
    std::unique_ptr<Player> player_;
};

TEST_F(PlayerTest, PlaysEveryFrameOnceAtItsExactTimeThenStops) {
    // Rows of 37 × 4 bytes padded to 192. At DPAN 25, frames of 0 or 1 tick
    // last 1/25 s; the others their ticks.
    open({.width = 37, .height = 9, .ticks = {1, 7, 0, 3, 30, 1}, .dpanSpeed = 25});
    EXPECT_TRUE(sink_->frames().empty()) << "nothing is shown before play";
    EXPECT_EQ(player_->rate(), 0.0f);

    player_->play();
    player_->waitUntilStopped();
    const MediaTime dpan = MediaTime::make(1, 25);
    const std::vector<MediaTime> durations = {dpan, sixtieths(7), dpan, sixtieths(3), sixtieths(30), dpan};
    std::vector<MediaTime> starts = {MediaTime::zero()};
    for (const MediaTime& duration : durations) starts.push_back(starts.back() + duration);
    const MediaTime end = starts.back();
    starts.pop_back();
    EXPECT_EQ(sink_->indices(), (std::vector<std::uint64_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(sink_->each([](const RecordedFrame& r) { return r.frame.presentationTime; }), starts);
    EXPECT_EQ(sink_->hostTimes(), starts);
    EXPECT_EQ(sink_->each([](const RecordedFrame& r) { return r.frame.duration; }), durations);
    EXPECT_EQ(sink_->each([](const RecordedFrame& r) { return r.hash; }), coreFrameHashes(file_));
    for (const RecordedFrame& record : sink_->frames()) {
        EXPECT_FALSE(record.frame.hostTime.hasBeenRounded());
        EXPECT_EQ(record.bytesPerRow, 192u);
        EXPECT_NE(record.thread, std::this_thread::get_id());
    }
    EXPECT_EQ(frameCounts(player_->statistics()), (std::vector<std::uint64_t>{6, 0, 0}));
    EXPECT_EQ(player_->statistics().firstPlayHostTime, MediaTime::zero());
    EXPECT_EQ(player_->statistics().endHostTime, end);
    EXPECT_TRUE(player_->isAtEnd());
    EXPECT_EQ(player_->currentTime(), end);

    // No looping: play at the end does nothing.
    player_->play();
    player_->waitUntilStopped();
    EXPECT_EQ(sink_->frames().size(), 6u);
    EXPECT_EQ(player_->rate(), 0.0f);
}

// Steps are driven on screen by the application's tests.
TEST_F(PlayerTest, PauseSeekAndPlayOnFromThePlayhead) {
    open({.ticks = {5, 5, 5, 5, 5, 5}});
    sink_->onFrame = [&](const PresentedFrame& frame) {
        if (frame.index == 2) player_->pause();
    };
    player_->play();
    player_->waitUntilStopped();
    EXPECT_EQ(sink_->indices(), (std::vector<std::uint64_t>{0, 1, 2}));
    EXPECT_EQ(player_->currentTime(), sixtieths(10));
    sink_->onFrame = nullptr;
    ASSERT_TRUE(player_->seekToTime(sixtieths(12)));
    EXPECT_EQ(sink_->indices().back(), 2u);
    EXPECT_EQ(player_->currentTime(), sixtieths(12));

    // Played on from 12/60 s: frame 3 is due 3/60 s later.
    const MediaTime resumedAt = clock_->now();
    const std::size_t before = sink_->frames().size();
    player_->play();
    player_->waitUntilStopped();
    EXPECT_EQ(sink_->indices(before), (std::vector<std::uint64_t>{3, 4, 5}));
    EXPECT_EQ(sink_->hostTimes(before), (std::vector<MediaTime>{resumedAt + sixtieths(3), resumedAt + sixtieths(8),
                                                                 resumedAt + sixtieths(13)}));
    EXPECT_TRUE(player_->isAtEnd());

    // Seeking back from the end makes the item playable again.
    ASSERT_TRUE(player_->seekToTime(MediaTime::zero()));
    EXPECT_FALSE(player_->isAtEnd());
    EXPECT_EQ(sink_->indices().back(), 0u);
    EXPECT_FALSE(player_->seekToTime(MediaTime::invalid()));
}

// Showing frame 1 takes 12/60 s: frame 2, due at 10/60 s, is then past and
// dropped; the next, due at 15/60 s, is late. Looping, the next is the
// lap's first frame, and the lap keeps its schedule anchored at the end.
TEST_F(PlayerTest, SlowPresentationMakesFramesLateOrDropsThem) {
    const struct {
        std::vector<std::uint32_t> ticks;
        std::optional<std::uint64_t> loopStart;
        std::vector<std::uint64_t> shown;
    } cases[] = {{{5, 5, 5, 5, 5}, std::nullopt, {0, 1, 3, 4}}, {{5, 5, 5}, 0, {0, 1, 0, 1}}};
    for (const auto& c : cases) {
        open({.ticks = c.ticks});
        player_->setLoopStartIndex(c.loopStart);
        sink_->onFrame = [&](const PresentedFrame&) {
            if (sink_->frames().size() == 2) clock_->advance(sixtieths(12));
            if (sink_->frames().size() == 4 && c.loopStart) player_->pause();
        };
        player_->play();
        player_->waitUntilStopped();
        EXPECT_EQ(sink_->indices(), c.shown);
        EXPECT_EQ(sink_->hostTimes(), atSixtieths({0, 5, 17, 20}));
        EXPECT_EQ(sink_->each([](const RecordedFrame& r) { return r.frame.late; }), (std::vector<bool>{false, false, true, false}));
        EXPECT_EQ(frameCounts(player_->statistics()), (std::vector<std::uint64_t>{4, 1, 1}));
        EXPECT_EQ(player_->statistics().endHostTime, c.loopStart ? MediaTime::invalid() : sixtieths(25));
    }
}

TEST_F(PlayerTest, RateScalesThePresentationTimesFromThePlayhead) {
    open({.ticks = {5, 5, 5, 5}});
    // setRate() plays; setDefaultRate() waits for play(). Frame k shows
    // exactly 5k ticks of the host timescale after the start, the end 20.
    for (const auto& [rate, viaSetRate, hostTimescale] : {std::tuple{2.0f, true, 120}, std::tuple{0.5f, false, 30}}) {
        SCOPED_TRACE(rate);
        const std::size_t before = sink_->frames().size();
        const MediaTime start = clock_->now();
        ASSERT_TRUE(player_->seekToTime(MediaTime::zero()));  // shows frame 0 at once
        std::vector<float> ratesWhilePlaying;
        sink_->onFrame = [&](const PresentedFrame&) { ratesWhilePlaying.push_back(player_->rate()); };
        if (!viaSetRate) {
            player_->setDefaultRate(rate);
            EXPECT_EQ(player_->rate(), 0.0f) << "setting the default rate does not start playback";
        }
        viaSetRate ? player_->setRate(rate) : player_->play();
        player_->waitUntilStopped();
        sink_->onFrame = nullptr;
        std::vector<MediaTime> expected;
        for (int k = 0; k < 4; ++k) expected.push_back(start + MediaTime::make(5 * k, hostTimescale));
        EXPECT_EQ(sink_->indices(before), (std::vector<std::uint64_t>{0, 1, 2, 3}));
        EXPECT_EQ(sink_->hostTimes(before), expected);
        EXPECT_EQ(player_->statistics().endHostTime, start + MediaTime::make(20, hostTimescale));
        EXPECT_EQ(ratesWhilePlaying, std::vector<float>(3, rate));
        EXPECT_EQ(player_->defaultRate(), rate);
    }

    // A change while playing goes on from the playhead.
    open({.ticks = {6, 6, 6, 6, 6}});
    sink_->onFrame = [&](const PresentedFrame& frame) {
        if (frame.index == 1) {
            // Two ticks into frame 1 (host 8/60), double speed: frame 2's
            // remaining 4 ticks pass in 2.
            clock_->advance(sixtieths(2));
            player_->setDefaultRate(2);
            EXPECT_EQ(player_->currentTime(), sixtieths(8));
        }
        if (frame.index == 3) player_->setDefaultRate(0.5f);  // at host 13/60, media 18/60
    };
    player_->play();
    player_->waitUntilStopped();
    EXPECT_EQ(sink_->indices(), (std::vector<std::uint64_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(sink_->hostTimes(), atSixtieths({0, 6, 10, 13, 25}));
    EXPECT_EQ(frameCounts(player_->statistics()), (std::vector<std::uint64_t>{5, 0, 0}));
    EXPECT_EQ(player_->statistics().endHostTime, sixtieths(37));
    EXPECT_EQ(player_->currentTime(), sixtieths(30));
}

// A loop start past the last sample plays the item once; one at the last frame
// repeats it; laps from frame 2 run frames 2 to 4 seamlessly from tick 20.
TEST_F(PlayerTest, LoopStartDecidesWhatFollowsTheEndAndLapsAreSeamless) {
    const std::pair<std::uint64_t, std::vector<std::uint64_t>> cases[] = {
        {7, {0, 1, 2, 3, 4}}, {4, {0, 1, 2, 3, 4, 4, 4, 4, 4, 4, 4}}, {2, {0, 1, 2, 3, 4, 2, 3, 4, 2, 3, 4}}};
    for (const auto& [loopStart, shown] : cases) {
        SCOPED_TRACE(loopStart);
        open({.ticks = {4, 4, 4, 4, 4}});
        player_->setLoopStartIndex(loopStart);
        sink_->onFrame = [&](const PresentedFrame&) {
            if (sink_->frames().size() == 11) player_->pause();
        };
        player_->play();
        player_->waitUntilStopped();
        EXPECT_EQ(sink_->indices(), shown);
        std::vector<std::int64_t> ticks;
        for (std::size_t k = 0; k < shown.size(); ++k) ticks.push_back(4 * static_cast<std::int64_t>(k));
        EXPECT_EQ(sink_->hostTimes(), atSixtieths(ticks));
        const auto expected = coreFrameHashes(file_);
        for (const RecordedFrame& record : sink_->frames()) {
            EXPECT_EQ(record.frame.presentationTime, sixtieths(4 * static_cast<std::int64_t>(record.frame.index)));
            EXPECT_EQ(record.hash, expected[record.frame.index]) << record.frame.index;
        }
        EXPECT_EQ(frameCounts(player_->statistics()), (std::vector<std::uint64_t>{shown.size(), 0, 0}));
        EXPECT_EQ(player_->statistics().endHostTime.isValid(), loopStart == 7);
        EXPECT_EQ(player_->isAtEnd(), loopStart == 7);
    }
    EXPECT_EQ(player_->currentTime(), sixtieths(16));

    // Resumed, frame 4 finishes its 4 ticks and the next lap begins.
    clock_->advance(sixtieths(100));
    const MediaTime resumedAt = clock_->now();
    sink_->onFrame = [&](const PresentedFrame&) { player_->pause(); };
    player_->play();
    player_->waitUntilStopped();
    EXPECT_EQ(sink_->indices(11), std::vector<std::uint64_t>{2});
    EXPECT_EQ(sink_->hostTimes(11), std::vector<MediaTime>{resumedAt + sixtieths(4)});

    // Once stopped at the end, play() starts at the loop start.
    ASSERT_TRUE(player_->seekToTime(player_->currentItem()->duration()));
    EXPECT_TRUE(player_->isAtEnd());
    player_->play();
    player_->waitUntilStopped();
    EXPECT_EQ(sink_->indices().back(), 2u);
    EXPECT_EQ(sink_->hostTimes().back(), clock_->now());
}

// Observers hear of changes on their thread, with no lock of the player held:
// on a stop, this one has another thread step the player (taking both its
// locks) and waits. A pause inside a presentation is announced after it.
TEST_F(PlayerTest, StateChangesAreAnnouncedWhereTheyHappenWithNoLockHeld) {
    open({.ticks = {4, 4, 4, 4}});
    struct Heard {
        bool playing, atEnd, onPlaybackThread;
        bool operator==(const Heard&) const = default;
    };
    std::mutex mutex;
    std::vector<Heard> heard;
    std::atomic<std::thread::id> playbackThread{};
    const auto token = player_->addStateObserver([&] {
        const bool fromPlayback = std::this_thread::get_id() == playbackThread.load();
        const Heard now{player_->rate() > 0, player_->isAtEnd(), fromPlayback};
        if (fromPlayback && !now.playing) std::async(std::launch::async, [&] { player_->stepByCount(0); }).get();
        std::lock_guard<std::mutex> guard(mutex);
        heard.push_back(now);
    });
    auto heardSoFar = [&] { std::lock_guard<std::mutex> guard(mutex); return heard; };
    auto heardSoon = [&](const Heard& wanted) {
        for (int wait = 0; wait < 500; ++wait, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
            if (std::ranges::count(heardSoFar(), wanted) > 0) return true;
        return false;
    };

    ASSERT_TRUE(player_->seekToTime(MediaTime::zero()));
    EXPECT_TRUE(heardSoon({false, false, false}));
    sink_->onFrame = [&](const PresentedFrame& frame) {
        if (playbackThread.load() == std::thread::id()) playbackThread = std::this_thread::get_id();
        if (frame.index == 2 && std::this_thread::get_id() == playbackThread.load()) player_->pause();
    };
    player_->play();
    player_->waitUntilStopped();
    EXPECT_TRUE(heardSoon({false, false, true})) << "the pause from inside the sink";
    sink_->onFrame = nullptr;
    player_->play();
    player_->waitUntilStopped();
    EXPECT_TRUE(heardSoon({false, true, true})) << "the end";

    // A rate heard once when it changes; nothing once the observer is gone.
    const std::size_t before = heardSoFar().size();
    player_->setDefaultRate(2);
    player_->setDefaultRate(2);
    EXPECT_EQ(heardSoFar().size(), before + 1);
    player_->removeStateObserver(token);
    ASSERT_TRUE(player_->seekToTime(MediaTime::zero()));
    player_->setRate(1);
    player_->waitUntilStopped();
    EXPECT_EQ(heardSoFar().size(), before + 1);
}

// Every kind of bad file fails the asset and the player item with the error
// of the step that failed, on the thread where it failed.
using AssetAndItemTest = PlayerTest;

struct StatusLog {
    std::vector<PlayerItemStatus> statuses;
    std::vector<std::thread::id> threads;
    explicit StatusLog(PlayerItem& item) {
        item.addStatusObserver([this](PlayerItemStatus status) {
            statuses.push_back(status);
            threads.push_back(std::this_thread::get_id());
        });
    }
};

TEST_F(AssetAndItemTest, BadFilesFailTheAssetAndTheItemWithTheirOwnError) {
    // The reader's own errors, each checked in Farrago's tests, are handed on unchanged.
    const auto bigFile = scratch_.write("huge.anim", "");
    std::filesystem::resize_file(bigFile, 104857601);  // sparse: no disk space used
    struct Case {
        const char* name;
        std::filesystem::path path;
        Error expected;
    } cases[] = {
        {"missing", scratch_ / "gone.anim",
         Error(kPOSIXErrorDomain, ENOENT, "Cannot read the file: No such file or directory")},
        {"over 100 MiB", bigFile, Error("com.brackwater.Velarium", -1, "Invalid file size")},
        {"unknown kind of file", scratch_.write("walk.iff", syntheticAnimation({})),
         Error(kPlaybackErrorDomain, kPlaybackErrorNoFormatReader, "No format reader for this kind of file")},
    };
    for (const auto& c : cases) {
        auto asset = Asset::assetWithPath(c.path);
        Error error;
        EXPECT_FALSE(asset->loadValues(&error)) << c.name;
        EXPECT_EQ(error, c.expected) << c.name;

        auto item = PlayerItem::playerItemWithAsset(asset);
        StatusLog log(*item);
        item->prepare();
        EXPECT_EQ(item->error(), std::optional<Error>(c.expected)) << c.name;
        EXPECT_EQ(log.statuses, std::vector<PlayerItemStatus>{PlayerItemStatus::failed}) << c.name;
        EXPECT_EQ(log.threads, std::vector<std::thread::id>{std::this_thread::get_id()});

        // A player of a failed item shows nothing and reports the item's error.
        auto sink = std::make_shared<RecordingSink>();
        Player player(item, sink, std::make_shared<ManualPlaybackClock>());
        player.play();
        player.waitUntilStopped();
        Error seekError;
        EXPECT_FALSE(player.seekToTime(MediaTime::zero(), &seekError));
        EXPECT_EQ(seekError, c.expected);
        EXPECT_TRUE(sink->frames().empty());
    }
}

// Status changes are reported once, where they happen: a good file is ready
// however often prepared; a picture without pixels fails on the playback thread.
TEST_F(AssetAndItemTest, StatusIsReportedOnceWhereItChanges) {
    auto good = PlayerItem::playerItemWithAsset(Asset::assetWithPath(scratch_.write("s.anim", syntheticAnimation({}))));
    StatusLog goodLog(*good);
    good->prepare();
    good->prepare();
    EXPECT_EQ(goodLog.statuses, std::vector<PlayerItemStatus>{PlayerItemStatus::readyToPlay});
    EXPECT_EQ(goodLog.threads, std::vector<std::thread::id>{std::this_thread::get_id()});
    EXPECT_EQ(good->sampleIndexAtTime(MediaTime::make(1000, 1)), good->sampleTimes().size() - 1) << "past the end: the last";

    auto item = PlayerItem::playerItemWithAsset(Asset::assetWithPath(scratch_.write("z.anim", syntheticAnimation({.width = 0}))));
    auto sink = std::make_shared<RecordingSink>();
    Player player(item, sink, std::make_shared<ManualPlaybackClock>());
    ASSERT_EQ(item->status(), PlayerItemStatus::readyToPlay);
    StatusLog log(*item);
    player.play();
    player.waitUntilStopped();
    EXPECT_EQ(item->error(), std::optional<Error>(Error(kOSStatusErrorDomain, kCMBlockBufferBadLengthParameterErr,
                                                        "Failed to create pixel block buffer")));
    EXPECT_EQ(log.statuses, std::vector<PlayerItemStatus>{PlayerItemStatus::failed});
    ASSERT_EQ(log.threads.size(), 1u);
    EXPECT_NE(log.threads[0], std::this_thread::get_id());
    EXPECT_TRUE(sink->frames().empty());
    EXPECT_EQ(player.rate(), 0.0f);
}

}  // namespace
}  // namespace velarium
