// The plugin as GStreamer finds it: its typefinder telling ANIM files by
// their content alone and ahead of every other IFF typefinder (libav's among
// them), and what the discoverer reports of each corpus animation.
#include <gst/base/gsttypefindhelper.h>
#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>

#include "Expectations.h"
#include "support/IFFWriter.h"

namespace velarium::gsttest {
namespace {

using testing::ByteVector;

ByteVector ilbmStill() {
    using namespace testing;
    return form("ILBM", {bmhd({}), cmap({0x000000, 0xFFFFFF}), chunk("BODY", ByteVector(2, 0x55))});
}

ByteVector head(const char* bytes, std::size_t length) { return ByteVector(bytes, bytes + length); }

// Every typefinder is asked in rank order, those serving the file's
// extension first, as decodebin's typefind asks them, and the first certain
// answer ends the search.
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

}  // namespace
}  // namespace velarium::gsttest
