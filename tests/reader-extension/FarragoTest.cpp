// Farrago's classes, used directly, their completion handlers plain calls:
// opening a file (the size limit, the single read, errors handed on, what it
// says of the file), its video track (description, information, duration,
// cursors placed by time), cursors (steps by count and time pinned at the
// ends, timing and sync, copies, the samples they make).
#include <gtest/gtest.h>

#include <limits>

#include "reader-extension/ANIMFormatReader.h"
#include "reader-extension/ANIMFormatReaderFactory.h"
#include "reader-extension/ANIMSampleCursor.h"
#include "reader-extension/ANIMTrackReader.h"
#include "reader-extension/FarragoConstants.h"
#include "support/ErrorPrinting.h"
#include "support/MemoryByteSource.h"
#include "support/SyntheticAnimations.h"

namespace velarium {
namespace {

using namespace testing;

// A parser of `bytes`, parsed; its table is empty when they hold no frames.
std::shared_ptr<ANIMParser> parse(const ByteVector& bytes) {
    auto parser = std::make_shared<ANIMParser>(makeSharedBytes(bytes));
    parser->parseWithError(nullptr);
    return parser;
}

std::shared_ptr<ANIMFormatReader> openReader(const ByteVector& bytes) {
    return std::static_pointer_cast<ANIMFormatReader>(
        ANIMFormatReaderFactory().formatReaderWithByteSource(std::make_shared<MemoryByteSource>(bytes), {}, nullptr));
}

std::shared_ptr<ANIMTrackReader> firstTrack(MEFormatReader& reader) {
    std::shared_ptr<ANIMTrackReader> track;
    reader.loadTrackReadersWithCompletionHandler([&](std::vector<METrackReaderRef> tracks, const Error*) {
        if (tracks.size() == 1) track = std::static_pointer_cast<ANIMTrackReader>(tracks.front());
    });
    return track;
}

// Three frames starting at 0, 5 and 10 sixtieths, lasting 5, 5 and 10.
const SyntheticAnimation kThreeFrames{.ticks = {5, 5, 10}};

const Error kSourceError("com.example.source", 5, "The disk went away");

// One read of the whole file: failures carry the right error, and a short
// read opens what was delivered.
TEST(ANIMFormatReader, OpensWhatOneReadDeliversOrFailsWithTheRightError) {
    const ByteVector anim = syntheticAnimation({});
    const Error invalidSize(kANIMFormatReaderErrorDomain, -1, "Invalid file size");
    const Error readFailed(kANIMFormatReaderErrorDomain, -2, "Read failed");
    struct Case {
        const char* name;
        ByteVector bytes;
        std::optional<std::int64_t> reportedLength;
        bool failReads;
        std::optional<Error> sourceError;
        std::optional<Error> expected;  // none: the reader opens
        int reads;
        std::optional<std::size_t> maxBytesPerRead = std::nullopt;
    } cases[] = {
        {"empty file", {}, std::nullopt, false, std::nullopt, invalidSize, 0},
        {"negative length", anim, -4, false, std::nullopt, invalidSize, 0},
        {"one byte over 100 MiB", anim, kANIMMaxFileSize + 1, false, std::nullopt, invalidSize, 0},
        {"read fails silently", anim, std::nullopt, true, std::nullopt, readFailed, 1},
        {"read fails with its own error", anim, std::nullopt, true, kSourceError, kSourceError, 1},
        {"read succeeds with nothing", anim, std::nullopt, false, std::nullopt, readFailed, 1, 0},
        {"nothing read, with the source's error", anim, std::nullopt, false, kSourceError, kSourceError, 1, 0},
        {"not an IFF ANIM", ByteVector(64, 'x'), std::nullopt, false, std::nullopt,
         Error(kANIMParserErrorDomain, kANIMParserErrorNotANIM, "Not an IFF ANIM file"), 1},
        {"ANIM without frames", animFile({}), std::nullopt, false, std::nullopt,
         Error(kANIMFormatReaderErrorDomain, -3, "Failed to parse ANIM file"), 1},
        {"exactly the size limit reported, fewer bytes there", anim, kANIMMaxFileSize, false, std::nullopt,
         std::nullopt, 1},
        {"the last frame cut off", anim, std::nullopt, false, std::nullopt, std::nullopt, 1, anim.size() - 30},
    };
    for (auto& c : cases) {
        auto source = std::make_shared<MemoryByteSource>(c.bytes);
        source->reportedLength = c.reportedLength;
        source->failReads = c.failReads;
        source->readError = c.sourceError;
        source->maxBytesPerRead = c.maxBytesPerRead;

        ANIMFormatReaderFactory factory;
        Error error;
        auto reader = std::static_pointer_cast<ANIMFormatReader>(factory.formatReaderWithByteSource(source, {}, &error));
        EXPECT_EQ(source->readCount.load(), c.reads) << c.name;
        if (c.expected) {
            EXPECT_EQ(reader, nullptr) << c.name;
            EXPECT_EQ(error, *c.expected) << c.name << ": " << error.localizedDescription;
            // No error out-parameter: still no reader, and nothing to crash on.
            EXPECT_EQ(factory.formatReaderWithByteSource(source, {}, nullptr), nullptr) << c.name;
        } else {
            ASSERT_NE(reader, nullptr) << c.name << ": " << error.localizedDescription;
            EXPECT_EQ(reader->parser()->fileData()->size(), c.maxBytesPerRead.value_or(c.bytes.size())) << c.name;
        }
    }
}

TEST(ANIMFormatReader, DescribesTheFile) {
    auto reader = openReader(syntheticAnimation({.width = 320, .height = 200, .planes = 5, .ticks = {3, 3, 6}}));
    ASSERT_NE(reader, nullptr);

    int calls = 0;
    reader->loadFileInfoWithCompletionHandler([&](MEFileInfoRef info, const Error* error) {
        ++calls;
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(error, nullptr);
        EXPECT_EQ(info->duration(), sixtieths(12));
        EXPECT_EQ(info->fragmentsStatus(), MEFileInfoFragmentsStatus::couldNotContainFragments);
    });
    reader->loadMetadataWithCompletionHandler([&](std::vector<MetadataItemRef> items, const Error* error) {
        ++calls;
        EXPECT_EQ(error, nullptr);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0]->identifier(), kMetadataIdentifierQuickTimeUserDataComment);
        EXPECT_EQ(items[0]->dataType(), kMetadataBaseDataTypeUTF8);
        EXPECT_EQ(items[0]->value(), "Amiga IFF ANIM - 320x200, 5 planes, 3 frames");
    });
    EXPECT_EQ(calls, 2) << "completion handlers run before the calls return";
}

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
    auto track = firstTrack(*openReader(syntheticAnimation(kThreeFrames)));
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
    auto parser = parse(syntheticAnimation(kThreeFrames));  // frames at 0, 5, 10; ends 5, 10, 20
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
    auto parser = parse(syntheticAnimation(kThreeFrames));
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
