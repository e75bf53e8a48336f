// Every host walks a track the same way: the application's player, the
// command-line tool's frame source and the GStreamer elements, given a
// format reader that misbehaves, show the same pictures and stop with the
// same error. The reader (Misbehaving.so) is loaded ahead of Farrago, so it
// serves every ANIM file of this process; Dapple decodes its samples.
#include <gtest/gtest.h>

#include <optional>

#include "../gstreamer/Pipeline.h"
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
    out << " ], error ";
    answer.error ? PrintTo(*answer.error, &out) : void(out << "none");
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

// The elements registered in this process, so that they share its registry of extensions.
Answer gstreamerAnswer(const std::filesystem::path& file) {
    using namespace gsttest;
    Pipeline pipeline(decodingPipeline(file, Scheduling::pull, "velariumdemux ! velariumdec"));
    Answer answer;
    if (!pipeline.runToEnd(10s)) answer.error = Error("test", 0, "The pipeline hung");
    for (const Frame& frame : pipeline.frames()) answer.pictures.push_back(frame.firstByte);
    if (const auto error = pipeline.error())
        answer.error = Error(error->extensionDomain, error->extensionCode, error->message);
    return answer;
}

TEST(HostAgreementTest, EveryHostShowsTheSamePicturesAndStopsWithTheSameError) {
    Error error;
    ASSERT_TRUE(ExtensionRegistry::shared().loadExtensionsInFolder(VELARIUM_MISBEHAVING_EXTENSION_FOLDER,
                                                                   ExtensionKind::formatReader, &error) &&
                registerFormatReaders(&error) && registerVideoDecoders(&error))
        << error.localizedDescription;
    gst_init(nullptr, nullptr);
    ASSERT_TRUE(GST_ELEMENT_REGISTER(velariumdemux, nullptr) && GST_ELEMENT_REGISTER(velariumdec, nullptr));
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
    const testing::TemporaryFolder scratch;
    for (const auto& c : cases) {
        const auto file = scratch.write(std::string(c.behaviour) + ".anim",
                                        std::string("FORM\0\0\0\x20" "ANIM", 12) + c.behaviour);
        EXPECT_EQ(playerAnswer(file), c.expected) << "player, " << c.behaviour;
        EXPECT_EQ(toolAnswer(file), c.expected) << "velarium-tool, " << c.behaviour;
        EXPECT_EQ(gstreamerAnswer(file), c.expected) << "GStreamer, " << c.behaviour;
    }
}

}  // namespace
}  // namespace velarium
