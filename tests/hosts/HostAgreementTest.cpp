// Every host walks a track the same way: the application's player, the
// command-line tool's frame source and the GStreamer elements, given a
// format reader that misbehaves, show the same pictures and stop with the
// same error. The reader (Misbehaving.so) is loaded ahead of Farrago, so it
// serves every ANIM file of this process; Dapple decodes its samples.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <optional>

#include "gstreamer/VelariumDec.h"
#include "gstreamer/VelariumDemux.h"
#include "platform/mediaextension/ExtensionRegistry.h"
#include "platform/mediaextension/HostError.h"
#include "platform/mediaextension/Registration.h"
#include "platform/mediaextension/SampleWalker.h"
#include "platform/playback/Player.h"
#include "support/ErrorPrinting.h"
#include "support/TemporaryFolder.h"
#include "tools/velarium-tool/FrameSource.h"

namespace velarium {
namespace {

using testing::TemporaryFolder;

// What a host made of a track: the first byte of every picture it showed,
// in order, and the error it stopped with.
struct Answer {
    std::vector<int> pictures;
    std::optional<Error> error;
    bool operator==(const Answer&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Answer& answer) {
    out << "pictures [";
    for (int picture : answer.pictures) out << ' ' << picture;
    out << " ]";
    if (answer.error) {
        out << ", error ";
        PrintTo(*answer.error, &out);
    }
    return out;
}

class FirstBytes : public VideoSink {
public:
    void presentPixelBuffer(const PixelBufferRef& buffer, const PresentedFrame&) override {
        buffer->lockBaseAddress(kCVPixelBufferLock_ReadOnly);
        pictures.push_back(buffer->baseAddress()[0]);
        buffer->unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
    }
    std::vector<int> pictures;
};

Answer playerAnswer(const std::filesystem::path& file) {
    Answer answer;
    auto item = PlayerItem::playerItemWithAsset(Asset::assetWithPath(file));
    auto sink = std::make_shared<FirstBytes>();
    Player player(item, sink, std::make_shared<ManualPlaybackClock>());
    Error error;
    bool shown = item->status() == PlayerItemStatus::readyToPlay && player.seekToTime(MediaTime::zero(), &error);
    for (std::size_t i = 1; shown && i < item->sampleTimes().size(); ++i) shown = player.stepByCount(1, &error);
    if (!shown) answer.error = item->error().value_or(error);
    answer.pictures = sink->pictures;
    return answer;
}

Answer toolAnswer(const std::filesystem::path& file) {
    Answer answer;
    Error error;
    auto source = tool::openFrameSource(file, &error);
    for (std::uint64_t i = 0; source && i < source->frameCount(); ++i) {
        tool::Frame frame;
        if (!source->decodeFrame(i, frame, &error)) break;
        answer.pictures.push_back(frame.row(0)[0]);
    }
    if (!error.domain.empty()) answer.error = error;
    return answer;
}

Answer gstreamerAnswer(const std::filesystem::path& file) {
    Answer answer;
    gchar* quoted = g_strescape(file.c_str(), nullptr);
    const std::string description = std::string("filesrc location=\"") + quoted +
                                    "\" ! velariumdemux ! velariumdec ! appsink name=sink sync=false";
    g_free(quoted);
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    // Until the end of the stream or an error, each bounded so that a host
    // that hangs fails the test rather than stopping it.
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* end = nullptr;
    auto takePictures = [&] {
        while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 0)) {
            guint8 first = 0;
            gst_buffer_extract(gst_sample_get_buffer(sample), 0, &first, 1);
            answer.pictures.push_back(first);
            gst_sample_unref(sample);
        }
    };
    for (int waits = 0; !end && waits < 100; ++waits) {
        takePictures();
        end = gst_bus_timed_pop_filtered(bus, 100 * GST_MSECOND, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
    }
    takePictures();
    if (!end) answer.error = Error("test", 0, "The pipeline hung");
    if (end && GST_MESSAGE_TYPE(end) == GST_MESSAGE_ERROR) {
        GError* gerror = nullptr;
        gst_message_parse_error(end, &gerror, nullptr);
        const GstStructure* details = nullptr;
        gst_message_parse_error_details(end, &details);
        const char* domain = details ? gst_structure_get_string(details, "extension-error-domain") : nullptr;
        const GValue* code = details ? gst_structure_get_value(details, "extension-error-code") : nullptr;
        answer.error = Error(domain ? domain : "", code ? g_value_get_long(code) : 0, gerror->message);
        g_error_free(gerror);
    }
    if (end) gst_message_unref(end);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return answer;
}

class HostAgreementTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Error error;
        ASSERT_TRUE(ExtensionRegistry::shared().loadExtensionsInFolder(VELARIUM_MISBEHAVING_EXTENSION_FOLDER,
                                                                       ExtensionKind::formatReader, &error))
            << error.localizedDescription;
        ASSERT_TRUE(registerFormatReaders(&error)) << error.localizedDescription;
        ASSERT_TRUE(registerVideoDecoders(&error)) << error.localizedDescription;
        gst_init(nullptr, nullptr);
        ASSERT_TRUE(GST_ELEMENT_REGISTER(velariumdemux, nullptr));
        ASSERT_TRUE(GST_ELEMENT_REGISTER(velariumdec, nullptr));
    }

    std::filesystem::path track(const std::string& behaviour) {
        return scratch_.write(behaviour + ".anim", std::string("FORM\0\0\0\x20" "ANIM", 12) + behaviour);
    }

    TemporaryFolder scratch_;
};

TEST_F(HostAgreementTest, EveryHostShowsTheSamePicturesAndStopsWithTheSameError) {
    const std::string tooMany =
        "The video track has more than " + std::to_string(SampleWalker::kMaxSamples) + " samples";
    const struct {
        const char* behaviour;
        Answer expected;
    } cases[] = {
        {"well", {{0, 1, 2, 3}, std::nullopt}},
        {"back", {{}, Error(kHostErrorDomain, kHostErrorBadSampleTime, "Sample 2 of the video track is mistimed")}},
        {"step-error", {{}, Error("com.example.misbehaving", 7, "The cursor cannot step past the third sample")}},
        {"endless", {{}, Error(kHostErrorDomain, kHostErrorTooManySamples, tooMany)}},
        {"load-error", {{0, 1}, Error("com.example.misbehaving", 8, "The third sample cannot be loaded")}},
    };
    for (const auto& c : cases) {
        const auto file = track(c.behaviour);
        EXPECT_EQ(playerAnswer(file), c.expected) << "player, " << c.behaviour;
        EXPECT_EQ(toolAnswer(file), c.expected) << "velarium-tool, " << c.behaviour;
        EXPECT_EQ(gstreamerAnswer(file), c.expected) << "GStreamer, " << c.behaviour;
    }
}

}  // namespace
}  // namespace velarium
