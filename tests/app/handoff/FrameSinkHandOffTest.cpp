// Frames cross from a real player's thread to the main thread through the
// FrameSink: intact while the decoder reuses buffers let go of, in order,
// counted once, readable after player and sink go mid-play; state changes too.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

#include "app/FrameSink.h"
#include "app/MainThreadRelay.h"
#include "platform/playback/PlaybackTestSupport.h"
#include "platform/playback/Asset.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

struct ReceivedFrame {
    std::uint64_t index;
    std::string hash;  // taken on arrival
    QImage image;      // kept only when the test asks for it
};

// A copy's rows are packed, as the core's frames are.
std::string imageHash(const QImage& image) {
    const QImage packed = image.copy();
    return sha256Hex(packed.constBits(), static_cast<std::size_t>(packed.sizeInBytes()));
}

// A player and its sink as a document makes them. Like a window, the main
// thread lets go of each picture when the next arrives, unless `keepImages`.
struct Playback {
    std::shared_ptr<FrameSink> sink = std::make_shared<FrameSink>();
    std::unique_ptr<Player> player;
    std::vector<ReceivedFrame> received;

    Playback(const std::filesystem::path& file, bool keepImages) {
        QObject::connect(sink.get(), &FrameSink::frameArrived, sink.get(), [this, keepImages](const DisplayedFrame& frame) {
            if (!keepImages && !received.empty()) received.back().image = QImage();
            received.push_back({frame.frame.index, imageHash(frame.image), frame.image});
        });
        player = std::make_unique<Player>(PlayerItem::playerItemWithAsset(Asset::assetWithPath(file)), sink);
        player->play();
    }
};

class FrameSinkHandOff : public ::testing::Test {
protected:
    void SetUp() override {
        registerBuiltExtensions();
        // Deltas, a frame every 1/60 s: as fast as a display shows them.
        const std::vector<std::uint8_t> bytes = syntheticAnimation(
            {.width = 96, .height = 64, .planes = 4, .ticks = std::vector<std::uint32_t>(90, 1), .byteVerticalDeltas = true});
        file_ = folder_.write("handoff.anim", bytes);
        hashes_ = coreFrameHashes(bytes);
        ASSERT_EQ(hashes_.size(), 90u);
    }

    TemporaryFolder folder_;
    std::filesystem::path file_;
    std::vector<std::string> hashes_;
};

TEST_F(FrameSinkHandOff, FramesArriveIntactInOrderAndCountedOnce) {
    Playback playback(file_, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return playback.player->rate() == 0; }, 20000));
    QCoreApplication::processEvents();

    const FrameHandOffStatistics statistics = playback.sink->statistics();
    EXPECT_EQ(statistics.received, statistics.delivered + statistics.superseded);
    EXPECT_EQ(statistics.delivered, playback.received.size());
    ASSERT_FALSE(playback.received.empty());
    EXPECT_EQ(playback.received.back().index, hashes_.size() - 1);
    std::vector<std::uint64_t> wrong;
    for (std::size_t i = 0; i < playback.received.size(); ++i) {
        const ReceivedFrame& frame = playback.received[i];
        EXPECT_TRUE(i == 0 || frame.index > playback.received[i - 1].index) << "out of order at " << frame.index;
        if (frame.hash != hashes_[frame.index]) wrong.push_back(frame.index);
    }
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " frames arrived damaged, the first " << wrong.front();
}

// As a closing document does: pause (or not, every other round), end the
// player, then drop the sink with a delivery perhaps still posted to it.
TEST_F(FrameSinkHandOff, PlayerAndSinkGoAwayMidPlayLikeAClosingDocument) {
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        Playback playback(file_, true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return playback.received.size() >= std::size_t(1 + round % 5); }, 10000));
        if (round % 2 == 0) playback.player->pause();
        playback.player.reset();
        playback.sink.reset();
        QCoreApplication::processEvents();
        for (const ReceivedFrame& frame : playback.received)
            EXPECT_EQ(imageHash(frame.image), hashes_[frame.index]) << "frame " << frame.index << " after the close";
    }
}

// The end, announced on the playback thread, reaches the main thread, where
// the player reads as stopped.
TEST_F(FrameSinkHandOff, StateChangesOfThePlaybackThreadArriveOnTheMainThread) {
    Playback playback(file_, false);
    QObject view;
    std::vector<std::pair<QThread*, bool>> heard;  // thread, still playing
    auto relay = MainThreadRelay::create(&view, [&] { heard.emplace_back(QThread::currentThread(), playback.player->rate() > 0); });
    std::atomic<bool> announcedElsewhere{false};
    const auto token = playback.player->addStateObserver([relay, &announcedElsewhere, main = std::this_thread::get_id()] {
        if (std::this_thread::get_id() != main) announcedElsewhere = true;
        relay->post();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !heard.empty() && !heard.back().second; }, 20000));
    EXPECT_TRUE(announcedElsewhere);
    EXPECT_TRUE(playback.player->isAtEnd());
    for (const auto& [thread, playing] : heard) EXPECT_EQ(thread, view.thread());
    playback.player->removeStateObserver(token);
    relay->detach();
}

}  // namespace
}  // namespace velarium::app
