// Every corpus animation through decodebin, with the demuxer pulling the
// file and with the file pushed to it: every picture exact, every buffer at
// the frame's own time, the caps and the duration the file says.
#include <gtest/gtest.h>

#include "Expectations.h"

namespace velarium::gsttest {
namespace {

class CorpusFramesTest : public ::testing::TestWithParam<CorpusRun> {};

TEST_P(CorpusFramesTest, EveryFrameExactAndOnTime) {
    const auto& [animation, scheduling] = GetParam();
    const ExpectedAnimation expected = expectedAnimation(animation);
    ASSERT_FALSE(expected.frames.empty()) << animation.expectedHashes;
    Pipeline pipeline(decodingPipeline(animation.file, scheduling));
    ASSERT_TRUE(pipeline.runToEnd()) << "no end of stream in time";
    ASSERT_FALSE(pipeline.error()) << describe(pipeline.error());
    EXPECT_EQ(pipeline.demuxerScheduling(), scheduling);

    EXPECT_EQ(pipeline.format(), expected.format);
    const auto& frames = pipeline.frames();
    ASSERT_EQ(frames.size(), expected.frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame &got = frames[i], &wanted = expected.frames[i];
        EXPECT_EQ(std::tie(got.sha256, got.pts, got.duration), std::tie(wanted.sha256, wanted.pts, wanted.duration))
            << "frame " << i;
    }
    gint64 duration = -1;  // as long as the query fails
    gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration);
    EXPECT_EQ(duration, gint64(expected.total));
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFramesTest,
                         ::testing::Combine(::testing::ValuesIn(testing::corpusAnimations()),
                                            ::testing::Values(Scheduling::pull, Scheduling::push)),
                         corpusRunName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusFramesTest);

}  // namespace
}  // namespace velarium::gsttest
