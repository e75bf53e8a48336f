// Every corpus animation through the decoding core: each frame's picture and
// duration as established decoders made them, in order and in random orders
// through the checkpoints. Damaged copies and inputs that once found a fault
// never crash, hang or touch memory outside their buffers (run under ASan and
// UBSan too).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/ANIMParser.h"
#include "platform/foundation/SystemLog.h"
#include "support/AnimationDamage.h"
#include "support/Corpus.h"
#include "support/Hashing.h"

namespace velarium {
namespace {

using namespace testing;

class CorpusAnimationTest : public ::testing::TestWithParam<CorpusAnimation> {};

// In order first, then every frame twice in two seeded shuffles (long jumps
// both ways, short steps forward, repeats) under checkpoint limits of none,
// room for a copy at every frame, room for three and the default. Deltas
// against the frame two back leave the two working buffers holding different
// pictures, so a checkpoint that mixed them up would show.
TEST_P(CorpusAnimationTest, FramesAndDurationsMatchExpectedInAnyOrder) {
    const CorpusAnimation& anim = GetParam();
    ANIMParser parser(makeSharedBytes(readFileBytes(anim.file)));
    Error error;
    ASSERT_TRUE(parser.parseWithError(&error)) << error.localizedDescription;
    const auto hashes = readLines(anim.expectedHashes);
    ASSERT_EQ(parser.numFrames(), hashes.size());

    const auto durations = expectedDurations(anim.expectedTiming);
    ASSERT_EQ(durations.size(), parser.numFrames());
    Bytes frame(parser.width() * parser.height() * 4);
    for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
        EXPECT_EQ(parser.frameAtIndex(i).duration, durations[i])
            << "frame " << i << " lasts " << parser.frameAtIndex(i).duration.description();
        ASSERT_TRUE(parser.decodeFrameAtIndex(i, frame, &error));
        EXPECT_EQ(sha256Hex(frame), hashes[i]) << "frame " << i;
    }
    EXPECT_EQ(parser.checkpointMemoryUsage(), 0u) << "decoding in order keeps no checkpoints";

    const std::uint64_t state = 2 * parser.geometry().bufferSize();
    std::mt19937 random(7);
    for (std::uint64_t limit : {std::uint64_t(0), parser.numFrames() * state, 3 * state,
                                ANIMParser::kDefaultCheckpointMemoryLimit}) {
        SCOPED_TRACE("checkpoint limit " + std::to_string(limit));
        parser.setCheckpointMemoryLimit(limit);
        std::vector<std::uint64_t> order(parser.numFrames());
        std::iota(order.begin(), order.end(), 0);
        for (int round = 0; round < 2; ++round) {
            std::shuffle(order.begin(), order.end(), random);
            for (std::uint64_t index : order) {
                const std::int64_t from = parser.lastDecodedFrame();
                ASSERT_TRUE(parser.decodeFrameAtIndex(index, frame, nullptr));
                ASSERT_EQ(sha256Hex(frame), hashes[index]) << "frame " << index << " after frame " << from;
            }
        }
        EXPECT_LE(parser.checkpointMemoryUsage(), limit);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusAnimationTest, ::testing::ValuesIn(corpusAnimations()), corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusAnimationTest);

TEST(Corpus, IsPresentOrSkipped) {
    if (!haveCorpus()) GTEST_SKIP() << "corpus not found at " << corpusDir();
    EXPECT_FALSE(corpusAnimations().empty());
}


// Pictures larger than this are rebuilt without converting them to BGRA.
constexpr std::uint64_t kMaxConvertedPixels = std::uint64_t(1) << 20;

// Parses the file and decodes every frame, converting the last one and, after
// a step back, the middle one.
void decodeEveryFrame(const Bytes& file) {
    ANIMParser parser(makeSharedBytes(file));
    if (!parser.parseWithError(nullptr)) return;
    const std::uint64_t pixels = parser.width() * parser.height();
    if (pixels > kMaxConvertedPixels) {
        for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
            const ANIMFrameInfo& frame = parser.frameAtIndex(i);
            if (frame.isKeyframe)
                parser.decodeKeyframe(frame);
            else
                parser.decodeDeltaFrame(frame);
        }
        return;
    }
    Bytes picture(std::max<std::uint64_t>(pixels * 4, 1));  // never null, even for an empty picture
    const std::uint64_t last = parser.numFrames() - 1;
    ASSERT_TRUE(parser.decodeFrameAtIndex(last, picture, nullptr));
    ASSERT_TRUE(parser.decodeFrameAtIndex(last / 2, picture, nullptr));
}

class RobustnessTest : public ::testing::TestWithParam<CorpusAnimation> {};

TEST_P(RobustnessTest, DamagedCopiesDecodeSafely) {
    const Bytes file = readFileBytes(GetParam().file);
    ScopedLogCapture quiet([](const std::string&) {});
    AnimationDamage(file, AnimationDamage::seedFor(GetParam().name))
        .forEachMutant([](const Bytes& mutant) { decodeEveryFrame(mutant); });
}

INSTANTIATE_TEST_SUITE_P(Corpus, RobustnessTest, ::testing::ValuesIn(corpusAnimations()), corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RobustnessTest);

// Inputs that once made the fuzz harness find a fault.
TEST(Robustness, FuzzRegressionsDecodeSafely) {
    const auto folder = std::filesystem::path(__FILE__).parent_path() / "regressions";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    ScopedLogCapture quiet([](const std::string&) {});
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().filename().string());
        decodeEveryFrame(readFileBytes(entry.path()));
    }
}

}  // namespace
}  // namespace velarium
