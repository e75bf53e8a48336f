// The video track: its description, information, duration and the cursors
// it places by time.
#include <gtest/gtest.h>

#include "FarragoTestSupport.h"
#include "reader-extension/FarragoConstants.h"

namespace velarium {
namespace {

using namespace testing;

METrackInfoRef loadInfo(METrackReader& track, Error* error = nullptr) {
    METrackInfoRef result;
    track.loadTrackInfoWithCompletionHandler([&](METrackInfoRef info, const Error* failure) {
        result = info;
        if (failure && error) *error = *failure;
    });
    return result;
}

std::uint64_t cursorIndex(const MESampleCursorRef& cursor) {
    return std::static_pointer_cast<ANIMSampleCursor>(cursor)->currentFrameIndex();
}

// One ILBM video track of the picture's size, at the first frame's rate.
TEST(ANIMTrackReader, DeclaresOneILBMVideoTrackAtTheFirstFramesRate) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> ticks;
        unsigned dpan;
        float rate;
    } cases[] = {
        {"1/60 s", {1, 5}, 0, 60.0f},
        {"4/60 s", {4, 1}, 0, 15.0f},
        {"DPAN 25", {1, 1}, 25, 25.0f},
        {"7/60 s", {7}, 0, 60.0f / 7.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto track = firstTrack(*openReader(
            syntheticAnimation({.width = 37, .height = 29, .ticks = c.ticks, .dpanSpeed = c.dpan})));
        ASSERT_NE(track, nullptr);
        auto info = loadInfo(*track);
        ASSERT_NE(info, nullptr);
        EXPECT_FLOAT_EQ(info->nominalFrameRate(), c.rate);
        EXPECT_EQ(info->mediaType(), makeFourCharCode("vide"));
        ASSERT_EQ(info->formatDescriptions().size(), 1u);
        const auto& description = info->formatDescriptions().front();
        EXPECT_EQ(description->mediaSubType(), makeFourCharCode("ILBM"));
        EXPECT_EQ(description->dimensions().width, 37);
        EXPECT_EQ(description->dimensions().height, 29);
        EXPECT_EQ(description->extensions(),
                  (Dictionary{{kCMFormatDescriptionExtension_FormatName, std::string("Amiga IFF ANIM")}}));
        EXPECT_EQ(info->naturalSize().width, 37.0);
        EXPECT_EQ(info->naturalSize().height, 29.0);
    }
}

TEST(ANIMTrackReader, MissingFormatDescriptionFailsTrackInfoOnly) {
    auto track = firstTrack(*openReader(syntheticAnimation({})));
    track->setFormatDescription(nullptr);
    track->setFormatDescriptionStatus(kCMFormatDescriptionError_InvalidParameter);
    Error error;
    EXPECT_EQ(loadInfo(*track, &error), nullptr);
    EXPECT_EQ(error, Error(kOSStatusErrorDomain, kCMFormatDescriptionError_InvalidParameter,
                           "Failed to create video format description"));

    MESampleCursorRef cursor;
    track->generateSampleCursorAtFirstSampleInDecodeOrderWithCompletionHandler(
        [&](MESampleCursorRef made, const Error*) { cursor = made; });
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->currentSampleFormatDescription(), nullptr);
}

TEST(ANIMTrackReader, CursorsSelectTheFrameShownThenOrEitherEnd) {
    auto track = firstTrack(*openReader(syntheticAnimation(threeFrameTimeline())));
    struct Case {
        MediaTime time;
        std::uint64_t frame;
    } cases[] = {
        {sixtieths(0), 0},  {sixtieths(4), 0},    {sixtieths(5), 1},      {sixtieths(19), 2},
        {sixtieths(20), 2}, {sixtieths(1000), 2}, {sixtieths(-3), 0},     {MediaTime::invalid(), 0},
        {MediaTime::make(1, 12), 1},  // 5/60 in another timescale: the boundary still picks the later frame
        {MediaTime::positiveInfinity(), 2},
    };
    for (const auto& c : cases) {
        int calls = 0;
        track->generateSampleCursorAtPresentationTimeStamp(c.time, [&](MESampleCursorRef cursor, const Error* error) {
            ++calls;
            EXPECT_EQ(error, nullptr);
            ASSERT_NE(cursor, nullptr);
            EXPECT_EQ(cursorIndex(cursor), c.frame) << c.time.description();
        });
        EXPECT_EQ(calls, 1);
    }
    track->generateSampleCursorAtFirstSampleInDecodeOrderWithCompletionHandler(
        [&](MESampleCursorRef cursor, const Error*) { EXPECT_EQ(cursorIndex(cursor), 0u); });
    track->generateSampleCursorAtLastSampleInDecodeOrderWithCompletionHandler(
        [&](MESampleCursorRef cursor, const Error*) { EXPECT_EQ(cursorIndex(cursor), 2u); });
    MediaTime unedited;
    track->loadUneditedDurationWithCompletionHandler([&](MediaTime time, const Error*) { unedited = time; });
    EXPECT_EQ(unedited, sixtieths(20));
}

}  // namespace
}  // namespace velarium
