// Every kind of bad file fails the asset and the player item with the error
// of the step that failed, on the thread where it failed.
#include <gtest/gtest.h>

#include <cerrno>

#include "PlaybackTestSupport.h"
#include "platform/mediaextension/FileByteSource.h"
#include "platform/playback/PlaybackError.h"

namespace velarium {
namespace {

using namespace testing;

class AssetAndItemTest : public ::testing::Test {
protected:
    void SetUp() override { registerBuiltExtensions(); }
    TemporaryFolder scratch_;
};

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
