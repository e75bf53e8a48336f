// Every corpus animation through decodebin, with the demuxer pulling the
// file and with the file pushed to it: every picture exact, every buffer at
// the frame's own time, the caps and the duration the file says. Seeking: a
// flushing seek shows the frame it asks for first and exactly, key-unit seeks
// snap to the frames' starts as asked, and jumping back and forth over the
// large bench animation never shows a wrong picture.
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

constexpr auto kFlushAccurate = GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
constexpr auto kFlushKeyUnit = GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT);

GstSeekFlags operator|(GstSeekFlags a, GstSeekFlags b) { return GstSeekFlags(int(a) | int(b)); }

class SeekingTest : public ::testing::TestWithParam<CorpusRun> {};

TEST_P(SeekingTest, FlushingSeekWhilePausedShowsTheSoughtFrameFirst) {
    const auto& [animation, scheduling] = GetParam();
    const auto frames = expectedAnimation(animation).frames;
    ASSERT_GE(frames.size(), 4u) << "too short to seek in";
    const std::size_t last = frames.size() - 1, middle = frames.size() / 2;
    auto at = [&](std::size_t index, double fraction) {
        return frames[index].pts + GstClockTime(double(frames[index].duration) * fraction);
    };

    struct Case {
        const char* what;
        GstSeekFlags flags;
        GstClockTime target;
        std::size_t frame;          // the first frame shown
        GstClockTime segmentStart;  // where the new segment starts
    };
    // Backwards and forwards in turn, each starting from where the last left off.
    const Case cases[] = {
        {"accurate, last frame's start", kFlushAccurate, frames[last].pts, last, frames[last].pts},
        {"accurate, first frame's start", kFlushAccurate, 0, 0, 0},
        {"accurate, a frame's start", kFlushAccurate, frames[middle].pts, middle, frames[middle].pts},
        {"accurate, inside a frame", kFlushAccurate, at(1, 0.5), 1, at(1, 0.5)},
        {"accurate, a frame's last nanosecond", kFlushAccurate, frames[middle + 1].pts - 1, middle,
         frames[middle + 1].pts - 1},
        {"key unit, inside a frame", kFlushKeyUnit, at(middle, 0.5), middle, frames[middle].pts},
        {"key unit snapping before", kFlushKeyUnit | GST_SEEK_FLAG_SNAP_BEFORE, at(2, 0.5), 2, frames[2].pts},
        {"key unit snapping after", kFlushKeyUnit | GST_SEEK_FLAG_SNAP_AFTER, at(last - 2, 0.5), last - 1,
         frames[last - 1].pts},
        {"key unit to the nearest, nearer the next", kFlushKeyUnit | GST_SEEK_FLAG_SNAP_NEAREST, at(1, 0.75), 2,
         frames[2].pts},
        {"key unit to the nearest, nearer this", kFlushKeyUnit | GST_SEEK_FLAG_SNAP_NEAREST, at(middle, 0.25),
         middle, frames[middle].pts},
        {"key unit snapping after from the last frame", kFlushKeyUnit | GST_SEEK_FLAG_SNAP_AFTER, at(last, 0.5),
         last, frames[last].pts},
    };

    Pipeline pipeline(decodingPipeline(animation.file, scheduling));
    ASSERT_TRUE(pipeline.preroll()) << describe(pipeline.error());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(pipeline.seek(c.flags, c.target));
        const auto shown = pipeline.preroll();
        ASSERT_TRUE(shown) << describe(pipeline.error());
        EXPECT_EQ(shown->sha256, frames[c.frame].sha256);
        // The decoder clips a frame that begins before the segment to its start.
        EXPECT_EQ(shown->pts, std::max(frames[c.frame].pts, c.segmentStart));
        EXPECT_EQ(pipeline.segmentStart(), c.segmentStart);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, SeekingTest,
                         // Frames all of one length, and frames of different lengths.
                         ::testing::Combine(::testing::ValuesIn(testing::corpusAnimations(
                                                {"mm_op5_ehb_320x200.anim", "op2_320x40_p5_f12_il0.anim"})),
                                            ::testing::Values(Scheduling::pull, Scheduling::push)),
                         corpusRunName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SeekingTest);

TEST(BenchSeeking, BackAndForthNeverShowsAWrongPicture) {
    const auto bench = testing::corpusDir() / "anim" / "bench" / "mm_op5_bench_256col_1280x720_200f.anim";
    if (!std::filesystem::exists(bench)) GTEST_SKIP() << "bench animation not available";

    // The pictures and times of a plain run from start to end are the reference.
    std::vector<Frame> reference;
    {
        Pipeline pipeline(decodingPipeline(bench, Scheduling::pull));
        ASSERT_TRUE(pipeline.runToEnd(60s) && !pipeline.error()) << "no end in time: " << describe(pipeline.error());
        reference = pipeline.frames();
    }
    const std::size_t count = reference.size();
    ASSERT_GE(count, 200u);

    // Stretches of a few frames, jumping back and forth across the file;
    // some are cut short by the next seek while their frames are flowing.
    struct Stretch {
        std::size_t first, length;
        GstSeekFlags flags;
        bool interrupted = false;
    };
    const Stretch stretches[] = {
        {150, 3, kFlushAccurate},  {10, 2, kFlushKeyUnit},   {count - 2, 2, kFlushAccurate},
        {0, 2, kFlushAccurate},    {101, 3, kFlushKeyUnit},  {20, count - 20, kFlushAccurate, true},
        {57, 2, kFlushAccurate},   {56, 1, kFlushAccurate},  {170, count - 170, kFlushKeyUnit, true},
        {199, 1, kFlushKeyUnit},   {3, 4, kFlushAccurate},   {120, 2, kFlushKeyUnit | GST_SEEK_FLAG_SNAP_AFTER},
    };
    Pipeline pipeline(decodingPipeline(bench, Scheduling::pull));
    ASSERT_TRUE(pipeline.preroll()) << describe(pipeline.error());
    for (const Stretch& s : stretches) {
        SCOPED_TRACE("frames " + std::to_string(s.first) + " to " + std::to_string(s.first + s.length - 1));
        const std::size_t end = std::min(s.first + s.length, count);
        const GstClockTime stop = end < count ? reference[end].pts : GST_CLOCK_TIME_NONE;
        ASSERT_TRUE(pipeline.seek(s.flags, reference[s.first].pts, stop));
        if (&s == &stretches[0]) pipeline.play();  // the first seek is made while paused
        ASSERT_TRUE(pipeline.takeFrames(s.interrupted ? 2 : SIZE_MAX, 30s) && !pipeline.error())
            << "the stretch did not come in time: " << describe(pipeline.error());
        const auto& shown = pipeline.frames();
        ASSERT_TRUE(s.interrupted ? shown.size() <= end - s.first : shown.size() == end - s.first) << shown.size();
        for (std::size_t i = 0; i < shown.size(); ++i)
            EXPECT_EQ(std::tie(shown[i].sha256, shown[i].pts),
                      std::tie(reference[s.first + i].sha256, reference[s.first + i].pts))
                << "frame " << s.first + i;
    }
}

}  // namespace
}  // namespace velarium::gsttest
