// Damaged animations never crash, hang or touch memory outside their
// buffers. Every corpus animation is cut short, garbled, given wrong chunk
// sizes, and has its delta chunks damaged and relabelled with every delta
// operation; each result is parsed and every frame decoded. Inputs that once
// found a fault are replayed too. Meant to be run under ASan and UBSan.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/ANIMParser.h"
#include "platform/foundation/SystemLog.h"
#include "support/AnimationDamage.h"
#include "support/Corpus.h"

namespace velarium {
namespace {

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

class RobustnessTest : public ::testing::TestWithParam<testing::CorpusAnimation> {};

TEST_P(RobustnessTest, DamagedCopiesDecodeSafely) {
    const Bytes file = testing::readFileBytes(GetParam().file);
    ScopedLogCapture quiet([](const std::string&) {});
    testing::AnimationDamage(file, testing::AnimationDamage::seedFor(GetParam().name))
        .forEachMutant([](const Bytes& mutant) { decodeEveryFrame(mutant); });
}

INSTANTIATE_TEST_SUITE_P(Corpus, RobustnessTest, ::testing::ValuesIn(testing::corpusAnimations()),
                         testing::corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RobustnessTest);

// Inputs that once made the fuzz harness find a fault.
TEST(Robustness, FuzzRegressionsDecodeSafely) {
    const auto folder = std::filesystem::path(__FILE__).parent_path() / "regressions";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    ScopedLogCapture quiet([](const std::string&) {});
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().filename().string());
        decodeEveryFrame(testing::readFileBytes(entry.path()));
    }
}

}  // namespace
}  // namespace velarium
