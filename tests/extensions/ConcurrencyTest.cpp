// Several threads at once on one file, through the real modules: cursors of
// one format reader loading samples while Dapple decodes them, and a player
// raced by control from another thread. Every picture must be the one its
// frame index names. Run under ThreadSanitizer as well as normally.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "platform/mediaextension/FileByteSource.h"
#include "platform/playback/PlaybackTestSupport.h"
#include "support/Corpus.h"

namespace velarium {
namespace {

constexpr int kThreads = 4;
constexpr int kLoadsPerThread = 24;

// Corpus animations whose frames depend on earlier ones, so that every
// out-of-order request makes the shared parser replay deltas.
std::vector<testing::CorpusAnimation> movies() {
    return testing::corpusAnimations(
        {"mm_op5_ham6_320x200.anim", "pydpainter_color-balls.anim", "ham8_opJ_320x32_f12_il0.anim"});
}

class ExtensionConcurrencyTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::haveCorpus()) GTEST_SKIP() << "corpus not found at " << testing::corpusDir();
        testing::registerBuiltExtensions();
    }
};

// The value a completion handler was given, which must come without an error.
template <typename Value>
auto into(Value& value) {
    return [&value](Value given, const Error* error) {
        EXPECT_EQ(error, nullptr) << (error ? error->localizedDescription : "");
        value = std::move(given);
    };
}

TEST_F(ExtensionConcurrencyTest, CursorsOnSeveralThreadsEachGetTheirOwnFrame) {
    auto& registry = ExtensionRegistry::shared();
    auto readerFactory = registry.formatReaderForFileExtension("anim");
    auto decoderFactory = registry.videoDecoderForCodecType(makeFourCharCode("ILBM"));
    ASSERT_NE(readerFactory, nullptr);
    ASSERT_NE(decoderFactory, nullptr);

    for (const auto& movie : movies()) {
        SCOPED_TRACE(movie.name);
        const auto hashes = testing::readLines(movie.expectedHashes);
        Error error;
        auto reader = readerFactory->formatReaderWithByteSource(FileByteSource::open(movie.file, nullptr), {}, &error);
        ASSERT_NE(reader, nullptr) << error.localizedDescription;
        std::vector<METrackReaderRef> tracks;
        reader->loadTrackReadersWithCompletionHandler(into(tracks));
        ASSERT_EQ(tracks.size(), 1u);
        METrackInfoRef info;
        tracks[0]->loadTrackInfoWithCompletionHandler(into(info));
        auto manager = std::make_shared<MEVideoDecoderPixelBufferManager>();
        auto decoder = decoderFactory->videoDecoderWithCodecType(makeFourCharCode("ILBM"),
                                                                 info->formatDescriptions().front(), {}, manager, &error);
        ASSERT_NE(decoder, nullptr);
        MESampleCursorRef first;
        tracks[0]->generateSampleCursorAtFirstSampleInDecodeOrderWithCompletionHandler(into(first));

        const auto frameCount = static_cast<std::int64_t>(hashes.size());
        std::atomic<int> wrong{0}, failed{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                // Each thread walks its own cursor, mostly forwards, sometimes back.
                MESampleCursorRef cursor = first->copy();
                std::mt19937 random(static_cast<unsigned>(t + 1));
                std::int64_t index = 0;
                for (int n = 0; n < kLoadsPerThread; ++n) {
                    const std::int64_t target =
                        (random() % 4 == 0) ? static_cast<std::int64_t>(random() % frameCount)
                                            : std::min<std::int64_t>(index + 1 + t, frameCount - 1);
                    cursor->stepInDecodeOrderByCount(target - index, [&](std::int64_t steps, const Error*) {
                        index += steps;
                    });
                    PixelBufferRef picture;
                    cursor->loadSampleBufferContainingSamplesToEndCursor(
                        nullptr, [&](SampleBufferRef sample, const Error* loadError) {
                            if (loadError) return;
                            decoder->decodeFrameFromSampleBuffer(
                                sample, {}, [&](PixelBufferRef buffer, MEDecodeFrameStatus, const Error*) {
                                    picture = buffer;
                                });
                        });
                    if (!picture)
                        ++failed;
                    else if (testing::sha256Hex(testing::packedPixels(*picture)) != hashes[index])
                        ++wrong;
                }
            });
        }
        for (auto& thread : threads) thread.join();
        EXPECT_EQ(failed.load(), 0);
        EXPECT_EQ(wrong.load(), 0);
    }
}

// Records which picture arrived for which frame; nothing more, so that the
// sink itself adds no synchronisation that could hide a race.
class CheckingSink : public VideoSink {
public:
    explicit CheckingSink(const std::vector<std::string>& hashes) : hashes_(hashes) {}
    void presentPixelBuffer(const PixelBufferRef& buffer, const PresentedFrame& frame) override {
        ++shown;
        if (frame.index >= hashes_.size() || testing::sha256Hex(testing::packedPixels(*buffer)) != hashes_[frame.index])
            ++wrong;
    }
    std::atomic<int> shown{0}, wrong{0};

private:
    const std::vector<std::string>& hashes_;
};

TEST_F(ExtensionConcurrencyTest, PlayerSurvivesControlFromAnotherThreadWhilePlaying) {
    for (const auto& movie : movies()) {
        SCOPED_TRACE(movie.name);
        const auto hashes = testing::readLines(movie.expectedHashes);
        auto item = PlayerItem::playerItemWithAsset(Asset::assetWithPath(movie.file));
        auto sink = std::make_shared<CheckingSink>(hashes);
        Player player(item, sink, std::make_shared<SystemPlaybackClock>());
        ASSERT_EQ(item->status(), PlayerItemStatus::readyToPlay);

        std::mt19937 random(7);
        const auto last = static_cast<std::int64_t>(hashes.size()) - 1;
        for (int n = 0; n < 40; ++n) {
            switch (random() % 4) {
                case 0: player.play(); break;
                case 1: player.pause(); break;
                case 2: player.stepByCount(static_cast<std::int64_t>(random() % 5) - 2); break;
                case 3:
                    player.seekToTime(item->sampleTimes()[random() % (last + 1)].presentationTime);
                    player.play();
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        player.pause();
        player.waitUntilStopped();
        EXPECT_EQ(item->status(), PlayerItemStatus::readyToPlay);
        EXPECT_GT(sink->shown.load(), 0);
        EXPECT_EQ(sink->wrong.load(), 0);
    }
}

}  // namespace
}  // namespace velarium
