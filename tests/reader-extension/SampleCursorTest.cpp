// Cursors: stepping by count and by time with pinning at the ends, timing and
// sync information, copies, and the samples they make.
#include <gtest/gtest.h>

#include <limits>

#include "FarragoTestSupport.h"
#include "reader-extension/FarragoConstants.h"

namespace velarium {
namespace {

using namespace testing;

std::shared_ptr<ANIMParser> fiveFrames() { return parse(syntheticAnimation({})); }

struct StepResult {
    int calls = 0;
    MediaTime time;
    bool pinned = false;
    std::optional<Error> error;
    std::int64_t steps = 0;
};

StepResult stepByTime(ANIMSampleCursor& cursor, MediaTime delta, bool presentation = false) {
    StepResult result;
    auto handler = [&](MediaTime time, bool pinned, const Error* error) {
        ++result.calls;
        result.time = time;
        result.pinned = pinned;
        if (error) result.error = *error;
    };
    presentation ? cursor.stepByPresentationTime(delta, handler) : cursor.stepByDecodeTime(delta, handler);
    return result;
}

StepResult stepByCount(ANIMSampleCursor& cursor, std::int64_t count, bool presentation = false) {
    StepResult result;
    auto handler = [&](std::int64_t steps, const Error* error) {
        ++result.calls;
        result.steps = steps;
        if (error) result.error = *error;
    };
    presentation ? cursor.stepInPresentationOrderByCount(count, handler) : cursor.stepInDecodeOrderByCount(count, handler);
    return result;
}

TEST(ANIMSampleCursor, StepByCountPinsAtBothEnds) {
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    struct Case {
        std::uint64_t start;
        std::int64_t count;
        std::uint64_t end;
        std::int64_t reported;
    } cases[] = {
        {2, 10, 4, 2},   {2, -10, 0, -2}, {2, 1, 3, 1},     {2, 0, 2, 0},      {4, 1, 4, 0},
        {0, -1, 0, 0},   {2, kMax, 4, 2}, {2, kMin, 0, -2},
    };
    auto parser = fiveFrames();
    for (bool presentation : {false, true}) {
        for (const auto& c : cases) {
            ANIMSampleCursor cursor(parser, c.start, nullptr, nullptr);
            const StepResult result = stepByCount(cursor, c.count, presentation);
            EXPECT_EQ(result.calls, 1);
            EXPECT_FALSE(result.error);
            EXPECT_EQ(cursor.currentFrameIndex(), c.end) << c.start << " by " << c.count;
            EXPECT_EQ(result.steps, c.reported) << c.start << " by " << c.count;
        }
    }
}

TEST(ANIMSampleCursor, StepByTimeLandsOnFrameStartsAndPinsOrFailsOnAnInvalidDelta) {
    auto parser = parse(syntheticAnimation(threeFrameTimeline()));  // frames at 0, 5, 10; ends 5, 10, 20
    struct Case {
        std::uint64_t start;
        MediaTime delta;
        std::uint64_t end;
        MediaTime time;
        bool pinned;
    } cases[] = {
        {0, sixtieths(-1), 0, sixtieths(0), true},
        {0, sixtieths(100), 2, sixtieths(10), true},
        {0, sixtieths(20), 2, sixtieths(10), true},
        {0, sixtieths(7), 1, sixtieths(5), false},  // frame 1's start, not the target
        {0, sixtieths(5), 1, sixtieths(5), false},  // on a boundary: the later frame
        {1, sixtieths(5), 2, sixtieths(10), false},
        {2, sixtieths(-6), 0, sixtieths(0), false},
        {2, sixtieths(-11), 0, sixtieths(0), true},
        {0, MediaTime::make(1, 12), 1, sixtieths(5), false},
        {1, MediaTime::negativeInfinity(), 0, sixtieths(0), true},
        {2, MediaTime::invalid(), 2, MediaTime::invalid(), false},  // fails, staying put
    };
    for (bool presentation : {false, true}) {
        for (const auto& c : cases) {
            ANIMSampleCursor cursor(parser, c.start, nullptr, nullptr);
            const StepResult result = stepByTime(cursor, c.delta, presentation);
            const std::string what = std::to_string(c.start) + " by " + c.delta.description();
            EXPECT_EQ(result.calls, 1);
            if (c.delta.isValid())
                EXPECT_FALSE(result.error) << what;
            else
                EXPECT_EQ(result.error, Error(kANIMSampleCursorErrorDomain, -1, "Invalid delta time"));
            EXPECT_EQ(cursor.currentFrameIndex(), c.end) << what;
            EXPECT_EQ(result.time, c.time) << what;
            EXPECT_EQ(result.pinned, c.pinned) << what;
        }
    }
}

TEST(ANIMSampleCursor, TimingAndSyncFollowTheFrameTable) {
    auto parser = parse(syntheticAnimation(threeFrameTimeline()));
    struct Case {
        std::uint64_t index;
        MediaTime start, duration;
        bool sync;
    } cases[] = {
        {0, sixtieths(0), sixtieths(5), true},
        {1, sixtieths(5), sixtieths(5), true},
        {2, sixtieths(10), sixtieths(10), true},
        {3, MediaTime::invalid(), MediaTime::invalid(), false},
        {std::numeric_limits<std::uint64_t>::max(), MediaTime::invalid(), MediaTime::invalid(), false},
    };
    for (const auto& c : cases) {
        ANIMSampleCursor cursor(parser, c.index, nullptr, nullptr);
        EXPECT_EQ(cursor.presentationTimeStamp(), c.start) << c.index;
        EXPECT_EQ(cursor.decodeTimeStamp(), c.start) << c.index;
        EXPECT_EQ(cursor.currentSampleDuration(), c.duration) << c.index;
        EXPECT_EQ(cursor.syncInfo().sampleIsFullSync, c.sync) << c.index;
    }
}

TEST(ANIMSampleCursor, CopiesAreIndependentAndDoNotKeepTheByteSource) {
    auto source = std::make_shared<MemoryByteSource>(ByteVector{});
    VideoFormatDescriptionRef description;
    VideoFormatDescription::create(kANIMCodecType, 16, 4, {}, &description);
    ANIMSampleCursor cursor(fiveFrames(), 1, source, description);

    auto copy = std::static_pointer_cast<ANIMSampleCursor>(cursor.copy());
    stepByCount(*copy, 2);
    EXPECT_EQ(cursor.currentFrameIndex(), 1u);
    EXPECT_EQ(copy->currentFrameIndex(), 3u);
    EXPECT_EQ(copy->parser(), cursor.parser());
    EXPECT_EQ(copy->currentSampleFormatDescription(), description);
    EXPECT_EQ(copy->byteSource(), source);

    source.reset();
    EXPECT_EQ(cursor.byteSource(), nullptr);
    EXPECT_EQ(std::static_pointer_cast<ANIMSampleCursor>(cursor.copy())->byteSource(), nullptr);
}

struct LoadResult {
    int calls = 0;
    SampleBufferRef sample;
    std::optional<Error> error;
};

LoadResult load(ANIMSampleCursor& cursor) {
    LoadResult result;
    cursor.loadSampleBufferContainingSamplesToEndCursor(nullptr, [&](SampleBufferRef sample, const Error* error) {
        ++result.calls;
        result.sample = sample;
        if (error) result.error = *error;
    });
    return result;
}

TEST(ANIMSampleCursor, SampleHoldsTheWholeDecodedFrame) {
    auto bytes = syntheticAnimation({.width = 320, .height = 200, .planes = 1, .ticks = {2, 3, 4}});
    auto track = firstTrack(*openReader(bytes));
    auto reference = parse(bytes);

    for (std::uint64_t index : {2u, 0u, 1u}) {
        ANIMSampleCursor cursor(track->parser(), index, nullptr, track->formatDescription());
        const LoadResult result = load(cursor);
        EXPECT_EQ(result.calls, 1);
        ASSERT_NE(result.sample, nullptr) << (result.error ? result.error->localizedDescription : "");
        EXPECT_FALSE(result.error);

        const SampleBuffer& sample = *result.sample;
        EXPECT_EQ(sample.formatDescription(), track->formatDescription());
        ASSERT_EQ(sample.sampleTimingInfoArray().size(), 1u);
        const SampleTimingInfo& timing = sample.sampleTimingInfoArray().front();
        EXPECT_EQ(timing.presentationTimeStamp, cursor.presentationTimeStamp());
        EXPECT_EQ(timing.decodeTimeStamp, timing.presentationTimeStamp);
        EXPECT_EQ(timing.duration, cursor.currentSampleDuration());
        ASSERT_EQ(sample.dataBuffer()->dataLength(), 256000u);
        Bytes picture(256000), expected(256000);
        ASSERT_EQ(sample.dataBuffer()->copyDataBytes(0, picture.size(), picture.data()), kNoErr);
        ASSERT_TRUE(reference->decodeFrameAtIndex(index, expected, nullptr));
        EXPECT_TRUE(picture == expected) << "frame " << index;
    }
}

TEST(ANIMSampleCursor, FailedSamplesHandOnTheirErrorAndKeepTheIndex) {
    const Error outOfRange(kANIMParserErrorDomain, kANIMParserErrorFrameIndexOutOfRange, "Frame index out of range");
    struct Case {
        const char* name;
        std::shared_ptr<ANIMParser> parser;
        std::uint64_t index;
        Error expected;
    } cases[] = {
        {"past the table", fiveFrames(), 5, outOfRange},
        {"no pixels", parse(syntheticAnimation({.width = 0})), 0,
         Error(kOSStatusErrorDomain, kCMBlockBufferBadLengthParameterErr, "Failed to create pixel block buffer")},
    };
    for (const auto& c : cases) {
        ANIMSampleCursor cursor(c.parser, c.index, nullptr, nullptr);
        const LoadResult result = load(cursor);
        EXPECT_EQ(result.calls, 1) << c.name;
        EXPECT_EQ(result.sample, nullptr) << c.name;
        ASSERT_TRUE(result.error) << c.name;
        EXPECT_EQ(*result.error, c.expected) << c.name << ": " << result.error->localizedDescription;
        EXPECT_EQ(cursor.currentFrameIndex(), c.index);
    }
}

}  // namespace
}  // namespace velarium
