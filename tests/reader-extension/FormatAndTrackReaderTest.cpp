// Opening a file as a movie (the size limit, the single read, errors handed
// on unchanged, what the reader says about the file) and its video track
// (description, information, duration, the cursors it places by time).
#include <gtest/gtest.h>

#include "FarragoTestSupport.h"
#include "reader-extension/FarragoConstants.h"

namespace velarium {
namespace {

using namespace testing;

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
