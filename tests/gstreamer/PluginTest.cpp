// The plugin as applications use it: its typefinder tells ANIM files by
// content alone, ahead of every other IFF typefinder (libav's among them);
// the discoverer reports each corpus animation; through decodebin, the file
// pulled or pushed, every picture is exact and on time, with the caps and
// duration the file says; a flushing seek shows the frame it asks for first
// and exactly, key-unit seeks snap to frame starts as asked, and jumping back
// and forth over the bench animation never shows a wrong picture; damaged
// files end every pipeline in time.
#include <gst/app/gstappsrc.h>
#include <gst/base/gsttypefindhelper.h>
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "Pipeline.h"
#include "platform/mediaextension/ExtensionRegistry.h"
#include "platform/mediaextension/Registration.h"
#include "support/AnimationDamage.h"
#include "support/Corpus.h"
#include "support/IFFWriter.h"
#include "support/MemoryByteSource.h"
#include "support/TemporaryFolder.h"

namespace velarium::gsttest {
namespace {

// What the corpus says each frame of an animation must be, in GStreamer's
// terms. Times: the timing file's durations are summed exactly as rationals;
// a frame starts at that sum rounded to the nearest nanosecond (halves up),
// and lasts until the next frame's rounded start, so that consecutive buffers
// neither overlap nor leave gaps.
struct ExpectedAnimation {
    std::string format;  // as Pipeline::format(): no size when the corpus says none, 0/1 when the durations vary
    std::vector<Frame> frames;
    GstClockTime total = 0;
};

// The picture size: from the corpus catalogue (file, folder, bytes, width,
// height…), or from a vector's name (…_WxH_…); 0×0 when neither says it.
std::pair<int, int> pictureSize(const std::string& name) {
    int width = 0, height = 0;
    char end = 0;
    for (const std::string& row : testing::readLines(testing::corpusDir() / "anim" / "CATALOG.tsv"))
        if (row.starts_with(name + "\t") &&
            std::sscanf(row.c_str() + name.size(), "\t%*[^\t]\t%*[^\t]\t%d\t%d", &width, &height) == 2)
            return {width, height};
    for (std::size_t at = name.find('_'); at != std::string::npos; at = name.find('_', at + 1))
        if (std::sscanf(name.c_str() + at, "_%dx%d%c", &width, &height, &end) == 3 && end == '_')
            return {width, height};
    return {0, 0};
}

ExpectedAnimation expectedAnimation(const testing::CorpusAnimation& animation) {
    ExpectedAnimation out;
    const auto hashes = testing::readLines(animation.expectedHashes);
    const auto durations = testing::expectedDurations(animation.expectedTiming);
    __int128 numerator = 0, denominator = 1;  // the running sum, exactly
    GstClockTime start = 0;
    for (std::size_t i = 0; i < hashes.size() && i < durations.size(); ++i) {
        const std::int64_t value = durations[i].value, timescale = durations[i].timescale;
        const __int128 common = std::lcm<std::int64_t, std::int64_t>(std::int64_t(denominator), timescale);
        numerator = numerator * (common / denominator) + __int128(value) * (common / timescale);
        denominator = common;
        const auto end = GstClockTime((2 * numerator * GST_SECOND + denominator) / (2 * denominator));
        out.frames.push_back({hashes[i], start, end - start});
        start = end;
    }
    out.total = start;
    const auto sameAsFirst = [&](const MediaTime& d) {
        return __int128(d.value) * durations[0].timescale == __int128(durations[0].value) * d.timescale;
    };
    std::string rate = "0/1";
    if (!durations.empty() && std::all_of(durations.begin(), durations.end(), sameAsFirst)) {
        const std::int64_t divisor = std::gcd<std::int64_t, std::int64_t>(durations[0].value, durations[0].timescale);
        rate = std::to_string(durations[0].timescale / divisor) + "/" + std::to_string(durations[0].value / divisor);
    }
    const auto [width, height] = pictureSize(animation.name);
    out.format = "BGRA " + std::to_string(width) + "x" + std::to_string(height) + " at " + rate;
    return out;
}

// An animation played with the file pulled or pushed, named so in test names.
using CorpusRun = std::tuple<testing::CorpusAnimation, Scheduling>;
std::string corpusRunName(const ::testing::TestParamInfo<CorpusRun>& info) {
    return testing::testNameFrom(std::get<0>(info.param).name) + "_" + name(std::get<1>(info.param));
}


using testing::ByteVector;

ByteVector ilbmStill() {
    using namespace testing;
    return form("ILBM", {bmhd({}), cmap({0x000000, 0xFFFFFF}), chunk("BODY", ByteVector(2, 0x55))});
}

ByteVector head(const char* bytes, std::size_t length) { return ByteVector(bytes, bytes + length); }

// Every typefinder is asked in rank order, those of the file's extension
// first, as decodebin asks them; the first certain answer ends the search.
TEST(AnimTypeFind, ClaimsAnIFFFormOfTypeANIMAheadOfEveryOtherTypefinder) {
    using namespace testing;
    const ByteVector animation = animFile({ilbmStill(), form("ILBM", {anhd({}), chunk("DLTA", ByteVector(64, 0))})});
    // libav's IFF typefinder, which claims ANIM files too, looks at a few kilobytes.
    const ByteVector large = concat({animation, ByteVector(8192, 0)});
    const struct {
        const char* what;
        ByteVector bytes;
        const char* extension;
        bool ours;
    } cases[] = {
        {"an animation", animation, "anim", true},
        {"an animation of 8 KB", large, nullptr, true},
        {"an animation named as libav's IFF files are", large, "iff", true},
        {"an animation named as a PNG picture", large, "png", true},
        {"FORM, a size, ANIM and nothing more", head("FORM\0\0\0\4ANIM", 12), nullptr, true},
        {"an ILBM still", ilbmStill(), "iff", false},
        {"an 8SVX sound", head("FORM\0\0\0\4" "8SVX", 12), nullptr, false},
        {"ANIM in a RIFF", head("RIFF\0\0\0\4ANIM", 12), nullptr, false},
        {"ANIM one byte late", head("FORM\0\0\0\4\0ANIM", 13), nullptr, false},
        {"eleven bytes", ByteVector{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'N', 'I'}, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        GstTypeFindProbability probability = GST_TYPE_FIND_NONE;
        const CapsRef caps(gst_type_find_helper_for_data_with_extension(nullptr, c.bytes.data(), c.bytes.size(),
                                                                        c.extension, &probability));
        g_autofree gchar* found = caps ? gst_caps_to_string(caps.get()) : g_strdup("nothing");
        EXPECT_EQ(g_strcmp0(found, "video/x-anim") == 0, c.ours) << found;
        EXPECT_TRUE(!c.ours || probability == GST_TYPE_FIND_MAXIMUM) << "probability " << probability;
    }
}

std::string tagString(const GstTagList* tags, const char* tag) {
    g_autofree gchar* value = nullptr;
    return tags && gst_tag_list_get_string(tags, tag, &value) ? value : "";
}

TEST(Discoverer, ReportsDurationSizeAndTagsOfEveryCorpusAnimation) {
    const auto all = testing::corpusAnimations();
    if (all.empty()) GTEST_SKIP() << "corpus not available";
    g_autoptr(GstDiscoverer) discoverer = gst_discoverer_new(10 * GST_SECOND, nullptr);
    for (const auto& animation : all) {
        SCOPED_TRACE(animation.name);
        const ExpectedAnimation expected = expectedAnimation(animation);
        g_autofree gchar* uri = gst_filename_to_uri(animation.file.c_str(), nullptr);
        g_autoptr(GstDiscovererInfo) info = gst_discoverer_discover_uri(discoverer, uri, nullptr);
        ASSERT_TRUE(info);
        EXPECT_EQ(gst_discoverer_info_get_result(info), GST_DISCOVERER_OK);
        EXPECT_NEAR(double(gst_discoverer_info_get_duration(info)), double(expected.total), double(GST_MSECOND));
        EXPECT_TRUE(gst_discoverer_info_get_seekable(info));
        const GstTagList* tags = gst_discoverer_info_get_tags(info);
        const std::string comment = tagString(tags, GST_TAG_COMMENT);
        const auto [width, height] = pictureSize(animation.name);
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        EXPECT_TRUE(comment.starts_with("Amiga IFF ANIM - " + size + ", ")) << comment;
        EXPECT_EQ(tagString(tags, GST_TAG_CONTAINER_FORMAT), "Amiga IFF ANIM");
        g_autoptr(GstDiscovererStreamInfo) top = gst_discoverer_info_get_stream_info(info);
        EXPECT_TRUE(top && GST_IS_DISCOVERER_CONTAINER_INFO(top)) << "not reported as a container";
        GList* streams = gst_discoverer_info_get_video_streams(info);
        ASSERT_EQ(g_list_length(streams), 1u);
        auto* video = GST_DISCOVERER_VIDEO_INFO(streams->data);
        const GstTagList* streamTags = gst_discoverer_stream_info_get_tags(GST_DISCOVERER_STREAM_INFO(video));
        EXPECT_EQ(tagString(streamTags, GST_TAG_VIDEO_CODEC), "Amiga IFF ILBM");
        gst_discoverer_stream_info_list_free(streams);
    }
}


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


// Damaged animations, made as the core's robustness tests make them, through
// decodebin with the file pulled and pushed in turn: every pipeline ends, with
// an error or the end of the stream, in bounded time. A file the format reader
// refuses gives its sentence on the bus; one it takes that holds no picture is
// refused by the demuxer in its own words.
// Every this many-th damaged copy is played: the core's tests decode every
// one; here what is tested is how the elements end a broken stream.
constexpr std::size_t kStride = 11;

// The format reader's verdict on a file: its error text when it refuses it.
std::optional<std::string> formatReaderRefusal(const ByteVector& bytes) {
    static const bool loaded = registerFormatReaders({VELARIUM_TEST_EXTENSION_FOLDER});
    auto extension = loaded ? ExtensionRegistry::shared().formatReaderForTypeIdentifier("com.amiga.anim") : nullptr;
    Error error;
    const auto source = std::make_shared<testing::MemoryByteSource>(bytes);
    if (!extension || extension->formatReaderWithByteSource(source, {}, &error)) return std::nullopt;
    return error.localizedDescription;
}

// Plays a damaged file, which must end in time; the error of one of our elements, if any.
std::optional<BusError> playDamaged(const testing::TemporaryFolder& folder, const ByteVector& bytes,
                                    Scheduling scheduling) {
    Pipeline pipeline(decodingPipeline(folder.write("damaged.anim", bytes), scheduling), /*hashFrames=*/false);
    EXPECT_TRUE(pipeline.runToEnd()) << "neither an error nor the end of the stream in time";
    const auto error = pipeline.error();
    if (!error || (error->sourceFactory != "velariumdemux" && error->sourceFactory != "velariumdec")) return {};
    EXPECT_FALSE(error->message.empty());
    if (const auto refusal = formatReaderRefusal(bytes); refusal && error->sourceFactory == "velariumdemux") {
        EXPECT_EQ(error->message, *refusal);
        EXPECT_FALSE(error->extensionDomain.empty());
    }
    return error;
}

class DamagedInputTest : public ::testing::TestWithParam<testing::CorpusAnimation> {};

TEST_P(DamagedInputTest, EveryPipelineEndsWithAnErrorOrTheEndOfTheStream) {
    const auto file = testing::readFileBytes(GetParam().file);
    const testing::TemporaryFolder folder;
    std::size_t index = 0;
    testing::AnimationDamage(file, testing::AnimationDamage::seedFor(GetParam().name))
        .forEachMutant([&](const ByteVector& mutant) {
            const std::size_t copy = index++;
            if (copy % kStride != 0 || HasFatalFailure()) return;
            const Scheduling scheduling = copy / kStride % 2 == 0 ? Scheduling::pull : Scheduling::push;
            SCOPED_TRACE("damaged copy " + std::to_string(copy) + ", " + name(scheduling));
            playDamaged(folder, mutant, scheduling);
        });
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedInputTest, ::testing::ValuesIn(testing::corpusAnimations()),
                         testing::corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DamagedInputTest);

// Files that say they are animations but are not quite, each played with
// the file pulled and pushed.
TEST(DamagedInput, FilesThatAreNoAnimationsEndWithAnErrorOfTheDemuxer) {
    using namespace testing;
    const ByteVector picture = chunk("BODY", ByteVector(2, 0x55));
    const ByteVector colours = cmap({0x000000, 0xFFFFFF});
    ByteVector firstFormEmpty = animFile({form("ILBM", {bmhd({}), colours, picture})});
    firstFormEmpty[16] = firstFormEmpty[17] = firstFormEmpty[18] = firstFormEmpty[19] = 0;  // its size
    const struct {
        const char* what;
        ByteVector file;
        bool readerRefuses;  // otherwise the demuxer does
    } cases[] = {
        {"no frames at all", animFile({}), true},
        {"no picture form", animFile({chunk("ANNO", ByteVector(8, 'x'))}), true},
        {"a first frame whose form is empty", firstFormEmpty, true},
        {"a picture too large", animFile({form("ILBM", {bmhd({.width = 60000, .height = 60000}), colours, picture})}),
         true},
        {"a picture of no pixels", animFile({form("ILBM", {bmhd({.width = 0, .height = 0}), colours, picture})}),
         false},
    };
    const TemporaryFolder folder;
    for (const auto& c : cases) {
        ASSERT_EQ(formatReaderRefusal(c.file).has_value(), c.readerRefuses) << c.what;
        for (const Scheduling scheduling : {Scheduling::pull, Scheduling::push}) {
            SCOPED_TRACE(std::string(c.what) + ", " + name(scheduling));
            const auto error = playDamaged(folder, c.file, scheduling);
            ASSERT_TRUE(error) << "the stream ended without an error of ours";
            EXPECT_EQ(error->sourceFactory, "velariumdemux") << describe(error);
        }
    }
}

// The decoder on its own, fed samples that do not fit what the caps say.
TEST(DamagedInput, SamplesTheDecoderCannotTakeEndWithItsError) {
    const struct {
        const char *what, *caps;
        std::size_t sampleBytes;
        const char* domain;  // of the error: the extension's, or the element's own
    } cases[] = {
        {"a sample shorter than its picture", "codec-type=ILBM,width=4,height=4", 10, "MediaExtensionErrorDomain"},
        {"caps without a codec type", "width=4,height=4", 64, "com.brackwater.Velarium.gstreamer"},
        {"a codec type no extension serves", "codec-type=XXXX,width=4,height=4", 64,
         "com.brackwater.Velarium.extensions"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Pipeline pipeline(std::string("appsrc name=source format=time caps=\"video/x-velarium-ilbm,framerate=0/1,") +
                          c.caps + "\" ! velariumdec ! appsink name=sink");
        const ElementRef source(gst_bin_get_by_name(GST_BIN(pipeline.get()), "source"));
        pipeline.play();
        const ByteVector sample(c.sampleBytes, 0x7F);
        gst_app_src_push_buffer(GST_APP_SRC(source.get()), gst_buffer_new_memdup(sample.data(), sample.size()));
        gst_app_src_end_of_stream(GST_APP_SRC(source.get()));
        ASSERT_TRUE(pipeline.takeFrames()) << "neither an error nor the end of the stream in time";
        const auto error = pipeline.error();
        ASSERT_TRUE(error) << "the stream ended without an error";
        EXPECT_FALSE(error->message.empty());
        EXPECT_EQ(error->sourceFactory + " " + error->extensionDomain, std::string("velariumdec ") + c.domain);
    }
}

}  // namespace
}  // namespace velarium::gsttest
