// Every corpus animation in a real document window at Actual Size: the
// picture on screen is the expected frame, unscaled and pixel for pixel,
// after each step forward, a step back, a scrubber drag, playback to the
// end and a jump to the first frame.
#include <gtest/gtest.h>

#include <sstream>

#include "DocumentTestSupport.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

struct ScreenExpectation {
    QSize pictureSize;
    std::vector<std::string> hashes;  // of each frame as the window must show it
    std::vector<MediaTime> durations;
};

// A brush's transparent colour (BMHD masking 2) has alpha 0 in the decoded
// frames and shows the view's backdrop on screen, so such files are
// compared with the core's frames laid over the backdrop, once the core's
// frames have been checked against the expected ones.
ScreenExpectation expectationFor(const CorpusAnimation& anim) {
    ScreenExpectation expectation;
    expectation.hashes = readLines(anim.expectedHashes);
    expectation.durations = expectedDurations(anim.expectedTiming);
    ANIMBitmapHeader header;
    const std::vector<QImage> frames = coreFrames(anim.file, &header);
    expectation.pictureSize = QSize(header.width, header.height);
    if (header.masking != kMaskingHasTransparentColor) return expectation;
    EXPECT_EQ(frames.size(), expectation.hashes.size());
    for (std::size_t i = 0; i < frames.size() && i < expectation.hashes.size(); ++i) {
        EXPECT_EQ(screenHash(frames[i]), expectation.hashes[i]) << "the core's frame " << i;
        expectation.hashes[i] = screenHash(overBackdrop(frames[i]));
    }
    return expectation;
}

class PlayerViewFramesTest : public ApplicationTest, public ::testing::WithParamInterface<CorpusAnimation> {};

TEST_P(PlayerViewFramesTest, WindowShowsTheExactFrameAtActualSize) {
    const ScreenExpectation expected = expectationFor(GetParam());
    ASSERT_FALSE(expected.hashes.empty());
    ASSERT_EQ(expected.durations.size(), expected.hashes.size());
    const std::uint64_t last = expected.hashes.size() - 1;

    DocumentWindow* window = openWindow(GetParam().file, ViewOptions{.zoom = 1});
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(pictureRectInWindow(window).size(), expected.pictureSize) << "Actual Size shows the picture scaled";
    ASSERT_TRUE(window->rect().contains(pictureRectInWindow(window))) << "the picture does not fit its window";

    std::vector<std::string> wrong;
    const auto check = [&](const std::string& how, std::uint64_t index) {
        if (!waitForFrame(window, index)) {
            wrong.push_back(how + ": frame " + std::to_string(index) + " never shown");
        } else if (screenHash(grabbedPicture(window)) != expected.hashes[index]) {
            wrong.push_back(how + ": frame " + std::to_string(index) + " wrong on screen");
        }
    };

    check("opened", 0);
    for (std::uint64_t i = 1; i <= last; ++i) {
        QTest::keyClick(window, Qt::Key_Right);
        check("Right", i);
    }
    if (last > 0) {
        QTest::keyClick(window, Qt::Key_Left);
        check("Left", last - 1);
    }
    const std::uint64_t middle = last / 2;
    dragScrubber(window, {static_cast<int>(last), static_cast<int>((last + middle) / 2), static_cast<int>(middle) + 1,
                          static_cast<int>(middle)});
    check("scrubbed", middle);

    MediaTime rest = MediaTime::zero();
    for (std::uint64_t i = middle; i <= last; ++i) rest = rest + expected.durations[i];
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_TRUE(waitUntilStopped(window, static_cast<int>(rest.seconds() * 1000) + 10000));
    check("played to the end", last);

    QTest::keyClick(window, Qt::Key_Home);
    check("Home", 0);

    std::ostringstream report;
    for (const auto& line : wrong) report << "\n  " << line;
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong:" << report.str();
}

INSTANTIATE_TEST_SUITE_P(Corpus, PlayerViewFramesTest, ::testing::ValuesIn(corpusAnimations()), corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(PlayerViewFramesTest);

}  // namespace
}  // namespace velarium::app
