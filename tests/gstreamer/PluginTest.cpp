// The plugin as GStreamer finds it: loaded from this build, its elements
// ranked so that decodebin and playbin choose them, its typefinder telling
// ANIM files by their content alone and ahead of every other IFF typefinder,
// and what the discoverer reports of each corpus animation.
#include <gst/base/gsttypefindhelper.h>
#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "Expectations.h"
#include "GstTestSupport.h"
#include "support/IFFWriter.h"
#include "support/TemporaryFolder.h"

namespace velarium::gsttest {
namespace {

using testing::ByteVector;

constexpr const char* kTypeFinderName = "video/x-anim";
constexpr const char* kLibavIFFTypeFinderName = "avtype_iff";

GstPluginFeature* findFeature(const char* name, GType type) {
    return gst_registry_find_feature(gst_registry_get(), name, type);
}

guint rankOf(const char* name, GType type) {
    GstPluginFeature* feature = findFeature(name, type);
    if (!feature) return 0;
    const guint rank = gst_plugin_feature_get_rank(feature);
    gst_object_unref(feature);
    return rank;
}

// What one typefinder suggests for some bytes, called on its own.
struct Suggestion {
    guint probability = 0;
    std::string caps;
};

std::optional<Suggestion> callTypeFinder(const char* name, const ByteVector& bytes) {
    GstPluginFeature* feature = findFeature(name, GST_TYPE_TYPE_FIND_FACTORY);
    if (!feature) return std::nullopt;
    struct Probe {
        const ByteVector* bytes;
        Suggestion best;
    } probe{&bytes, {}};
    GstTypeFind find{};
    find.data = &probe;
    find.peek = [](gpointer data, gint64 offset, guint size) -> const guint8* {
        const ByteVector& bytes = *static_cast<Probe*>(data)->bytes;
        if (offset < 0 || std::uint64_t(offset) + size > bytes.size()) return nullptr;
        return bytes.data() + offset;
    };
    find.suggest = [](gpointer data, guint probability, GstCaps* caps) {
        Suggestion& best = static_cast<Probe*>(data)->best;
        if (probability <= best.probability) return;
        gchar* text = gst_caps_to_string(caps);
        best = {probability, text};
        g_free(text);
    };
    find.get_length = [](gpointer data) -> guint64 { return static_cast<Probe*>(data)->bytes->size(); };
    gst_type_find_factory_call_function(GST_TYPE_FIND_FACTORY(feature), &find);
    gst_object_unref(feature);
    return probe.best;
}

// The verdict of all typefinders in rank order, as decodebin's typefind asks them.
Suggestion findType(const ByteVector& bytes) {
    GstTypeFindProbability probability = GST_TYPE_FIND_NONE;
    GstCaps* caps = gst_type_find_helper_for_data(nullptr, bytes.data(), bytes.size(), &probability);
    Suggestion found;
    if (caps) {
        gchar* text = gst_caps_to_string(caps);
        found = {guint(probability), text};
        g_free(text);
        gst_caps_unref(caps);
    }
    return found;
}

ByteVector ilbmStill() {
    using namespace testing;
    return form("ILBM", {bmhd({}), cmap({0x000000, 0xFFFFFF}), chunk("BODY", ByteVector(2, 0x55))});
}

ByteVector twoFrameAnimation() {
    using namespace testing;
    const ByteVector first = form("ILBM", {bmhd({}), cmap({0x000000, 0xFFFFFF}), chunk("BODY", ByteVector(2, 0x55))});
    const ByteVector second = form("ILBM", {anhd({}), chunk("DLTA", ByteVector(64, 0))});
    return animFile({first, second});
}

ByteVector withHead(const char* head, std::size_t length) {
    ByteVector bytes(head, head + length);
    bytes.resize(std::max<std::size_t>(length, 64), 0);
    return bytes;
}

const testing::CorpusAnimation* corpusAnimationNamed(const std::vector<testing::CorpusAnimation>& all,
                                                     const std::string& name) {
    for (const auto& animation : all)
        if (animation.name == name) return &animation;
    return nullptr;
}

TEST(Plugin, LoadsFromThisBuildAndRanksItsElementsPrimary) {
    GstPlugin* plugin = gst_registry_find_plugin(gst_registry_get(), "velarium");
    ASSERT_TRUE(plugin) << "the plugin did not load from " << VELARIUM_GST_PLUGIN_FOLDER;
    EXPECT_EQ(std::filesystem::canonical(gst_plugin_get_filename(plugin)),
              std::filesystem::canonical(VELARIUM_GST_PLUGIN_FILE));
    gst_object_unref(plugin);

    EXPECT_EQ(rankOf("velariumdemux", GST_TYPE_ELEMENT_FACTORY), guint(GST_RANK_PRIMARY));
    EXPECT_EQ(rankOf("velariumdec", GST_TYPE_ELEMENT_FACTORY), guint(GST_RANK_PRIMARY));
    // Typefinders are asked in rank order and the first certain answer ends
    // the search: ours must be asked before libav's IFF typefinder.
    const guint ours = rankOf(kTypeFinderName, GST_TYPE_TYPE_FIND_FACTORY);
    EXPECT_GE(ours, guint(GST_RANK_PRIMARY));
    if (const guint libav = rankOf(kLibavIFFTypeFinderName, GST_TYPE_TYPE_FIND_FACTORY)) {
        EXPECT_GT(ours, libav);
    }
}

TEST(AnimTypeFind, ClaimsAnIFFFormOfTypeANIMAndNothingElse) {
    struct Case {
        const char* what;
        ByteVector bytes;
        bool claimed;
    };
    const Case cases[] = {
        {"an animation", twoFrameAnimation(), true},
        {"FORM, a size, ANIM and nothing more", withHead("FORM\0\0\0\4ANIM", 12), true},
        {"an ILBM still", ilbmStill(), false},
        {"an 8SVX sound", withHead("FORM\0\0\0\4" "8SVX", 12), false},
        {"ANIM in a RIFF", withHead("RIFF\0\0\0\4ANIM", 12), false},
        {"ANIM one byte late", withHead("FORM\0\0\0\4\0ANIM", 13), false},
        {"eleven bytes", ByteVector{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'N', 'I'}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto suggestion = callTypeFinder(kTypeFinderName, c.bytes);
        ASSERT_TRUE(suggestion) << "no typefinder " << kTypeFinderName;
        if (c.claimed) {
            EXPECT_EQ(suggestion->probability, guint(GST_TYPE_FIND_MAXIMUM));
            EXPECT_EQ(suggestion->caps, kTypeFinderName);
        } else {
            EXPECT_EQ(suggestion->probability, 0u) << suggestion->caps;
        }
    }
}

TEST(AnimTypeFind, WinsOverEveryOtherTypefinderIncludingLibavs) {
    // libav's typefinder looks at a few kilobytes at least.
    ByteVector animation = twoFrameAnimation();
    animation.resize(8192, 0);
    // libav claims IFF files too: when it is installed, the contest is real.
    if (const auto libav = callTypeFinder(kLibavIFFTypeFinderName, animation)) {
        EXPECT_GT(libav->probability, 0u) << "libav no longer claims ANIM files; the contest is void";
    }
    const Suggestion found = findType(animation);
    EXPECT_EQ(found.caps, kTypeFinderName);
    EXPECT_EQ(found.probability, guint(GST_TYPE_FIND_MAXIMUM));
    EXPECT_NE(findType(ilbmStill()).caps, kTypeFinderName);
}

TEST(AnimTypeFind, DecodebinPlaysAnAnimationWhateverItsName) {
    VELARIUM_REQUIRE_DECODEBIN();
    const auto all = testing::corpusAnimations();
    const auto* animation = corpusAnimationNamed(all, "mm_op5_ehb_320x200.anim");
    if (!animation) GTEST_SKIP() << "corpus animation not available";
    const ExpectedAnimation expected = expectedAnimation(*animation);
    const testing::TemporaryFolder folder;
    // No extension, the extension libav's IFF reader serves, and one that lies.
    for (const char* name : {"animation", "animation.iff", "animation.png"}) {
        SCOPED_TRACE(name);
        const auto copy = folder.write(name, testing::readFileBytes(animation->file));
        Pipeline pipeline(decodingPipeline(copy, Scheduling::pull));
        ASSERT_TRUE(pipeline.runToEnd()) << "no end of stream in time";
        ASSERT_FALSE(pipeline.error()) << describe(pipeline.error());
        EXPECT_TRUE(pipeline.find("velariumdemux"));
        const auto frames = pipeline.frames();
        ASSERT_EQ(frames.size(), expected.frames.size());
        EXPECT_EQ(frames.front().sha256, expected.frames.front().sha256);
        EXPECT_EQ(frames.back().sha256, expected.frames.back().sha256);
    }
}

std::string tagString(const GstTagList* tags, const char* tag) {
    gchar* value = nullptr;
    if (!tags || !gst_tag_list_get_string(tags, tag, &value)) return {};
    std::string text = value;
    g_free(value);
    return text;
}

TEST(Discoverer, ReportsDurationSizeAndTagsOfEveryCorpusAnimation) {
    VELARIUM_REQUIRE_GST_ELEMENTS("uridecodebin", "filesrc");
    const auto all = testing::corpusAnimations();
    if (all.empty()) GTEST_SKIP() << "corpus not available";
    GError* error = nullptr;
    GstDiscoverer* discoverer = gst_discoverer_new(10 * GST_SECOND, &error);
    ASSERT_TRUE(discoverer) << (error ? error->message : "");
    for (const auto& animation : all) {
        SCOPED_TRACE(animation.name);
        const ExpectedAnimation expected = expectedAnimation(animation);
        gchar* uri = gst_filename_to_uri(animation.file.c_str(), nullptr);
        GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, &error);
        g_free(uri);
        g_clear_error(&error);
        ASSERT_TRUE(info);
        EXPECT_EQ(gst_discoverer_info_get_result(info), GST_DISCOVERER_OK);
        const GstClockTime duration = gst_discoverer_info_get_duration(info);
        EXPECT_LE(std::max(duration, expected.total) - std::min(duration, expected.total), GST_MSECOND)
            << duration << " ns, expected " << expected.total;
        EXPECT_TRUE(gst_discoverer_info_get_seekable(info));

        const GstTagList* tags = gst_discoverer_info_get_tags(info);
        const std::string comment = tagString(tags, GST_TAG_COMMENT);
        const std::string frames = ", " + std::to_string(expected.frames.size()) + " frames";
        if (const auto size = expected.size) {
            const std::string head = "Amiga IFF ANIM - " + std::to_string(size->width) + "x" +
                                     std::to_string(size->height) + ", ";
            EXPECT_EQ(comment.rfind(head, 0), 0u) << comment;
        }
        EXPECT_TRUE(comment.size() > frames.size() && comment.ends_with(frames)) << comment;
        EXPECT_EQ(tagString(tags, GST_TAG_CONTAINER_FORMAT), "Amiga IFF ANIM");

        GstDiscovererStreamInfo* top = gst_discoverer_info_get_stream_info(info);
        EXPECT_TRUE(top && GST_IS_DISCOVERER_CONTAINER_INFO(top)) << "not reported as a container";
        if (top) gst_discoverer_stream_info_unref(top);
        GList* streams = gst_discoverer_info_get_video_streams(info);
        ASSERT_EQ(g_list_length(streams), 1u);
        auto* video = GST_DISCOVERER_VIDEO_INFO(streams->data);
        if (const auto size = expected.size) {
            EXPECT_EQ(int(gst_discoverer_video_info_get_width(video)), size->width);
            EXPECT_EQ(int(gst_discoverer_video_info_get_height(video)), size->height);
        }
        const GstTagList* streamTags = gst_discoverer_stream_info_get_tags(GST_DISCOVERER_STREAM_INFO(video));
        EXPECT_EQ(tagString(streamTags, GST_TAG_VIDEO_CODEC), "Amiga IFF ILBM");
        gst_discoverer_stream_info_list_free(streams);
        gst_discoverer_info_unref(info);
    }
    g_object_unref(discoverer);
}

}  // namespace
}  // namespace velarium::gsttest
