// WebM and MP4 exports read back with GStreamer's own demuxers and decoders:
// every picture arrives, at its start to the millisecond, close to its
// source (PSNR), and tagged with its colours.
#include <gst/app/app.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "export/AnimationEncoder.h"
#include "export/ExportError.h"
#include "platform/mediaextension/Registration.h"
#include "platform/mediaextension/SampleWalker.h"
#include "platform/playback/PlayerItem.h"
#include "support/Corpus.h"
#include "support/TemporaryFolder.h"

namespace velarium::exporter {
namespace {

using testing::corpusDir;
using testing::haveCorpus;

constexpr GstClockTime kTick = GST_MSECOND;

// The source as the platform decodes it: RGBA pictures, and each start from
// the corpus' own timing table.
struct Source {
    std::vector<Picture> pictures;
    std::vector<MediaTime> starts;
    std::vector<MediaTime> durations;
};

Source decodeSource(const std::filesystem::path& file, const std::filesystem::path& timing, unsigned scale) {
    Source source;
    Error error;
    if (!registerFormatReaders(&error) || !registerVideoDecoders(&error)) {
        ADD_FAILURE() << error.localizedDescription;
        return source;
    }
    PlayerItemOptions options;
    options.pixelBuffers.bytesPerRowAlignment = 1;
    auto item = PlayerItem::playerItemWithAsset(Asset::assetWithPath(file, AssetOptions{"com.amiga.anim"}), options);
    item->prepare();
    if (item->status() != PlayerItemStatus::readyToPlay) {
        ADD_FAILURE() << "cannot open " << file;
        return source;
    }
    source.durations = testing::expectedDurations(timing);
    SampleWalker walker(item->videoTrackReader());
    MediaTime start = MediaTime::zero();
    for (std::uint64_t index = 0; index < source.durations.size(); ++index) {
        PixelBufferRef buffer = decodeSample(*item->videoDecoder(), walker.loadSample(index, &error), &error);
        if (!buffer) {
            ADD_FAILURE() << "frame " << index << ": " << error.localizedDescription;
            return source;
        }
        buffer->lockBaseAddress(kCVPixelBufferLock_ReadOnly);
        Picture picture{buffer->width() * scale, buffer->height() * scale, {}};
        picture.rgba.resize(picture.width * picture.height * 4);
        for (std::uint64_t y = 0; y < picture.height; ++y)
            for (std::uint64_t x = 0; x < picture.width; ++x) {
                const std::uint8_t* bgra = buffer->baseAddress() + (y / scale) * buffer->bytesPerRow() + (x / scale) * 4;
                std::uint8_t* rgba = picture.rgba.data() + (y * picture.width + x) * 4;
                rgba[0] = bgra[2], rgba[1] = bgra[1], rgba[2] = bgra[0], rgba[3] = 255;
            }
        buffer->unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
        source.pictures.push_back(std::move(picture));
        source.starts.push_back(start);
        start = start + source.durations[index];
    }
    return source;
}

struct DecodedFrame {
    GstClockTime pts = GST_CLOCK_TIME_NONE;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::vector<std::uint8_t> rgba;
};

struct ReadBack {
    std::vector<DecodedFrame> frames;
    std::string colorimetry;  // of the decoder's output, before conversion to RGBA
    std::string error;
};

ReadBack readBack(const std::filesystem::path& file) {
    ReadBack result;
    GError* gerror = nullptr;
    GstElement* pipeline = gst_parse_launch(
        ("filesrc name=file ! decodebin ! videoconvert name=convert ! video/x-raw,format=RGBA ! appsink name=sink "
         "sync=false"),
        &gerror);
    if (!pipeline) {
        result.error = gerror ? gerror->message : "no pipeline";
        g_clear_error(&gerror);
        return result;
    }
    GstElement* filesrc = gst_bin_get_by_name(GST_BIN(pipeline), "file");
    g_object_set(filesrc, "location", file.c_str(), nullptr);
    gst_object_unref(filesrc);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    GstElement* convert = gst_bin_get_by_name(GST_BIN(pipeline), "convert");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
        GstVideoInfo info;
        gst_video_info_from_caps(&info, gst_sample_get_caps(sample));
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        DecodedFrame frame{GST_BUFFER_PTS(buffer), static_cast<std::uint64_t>(GST_VIDEO_INFO_WIDTH(&info)),
                           static_cast<std::uint64_t>(GST_VIDEO_INFO_HEIGHT(&info)), {}};
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        for (std::uint64_t y = 0; y < frame.height; ++y) {
            const std::uint8_t* row = map.data + y * GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
            frame.rgba.insert(frame.rgba.end(), row, row + frame.width * 4);
        }
        gst_buffer_unmap(buffer, &map);
        gst_sample_unref(sample);
        result.frames.push_back(std::move(frame));
        if (result.colorimetry.empty()) {
            GstPad* pad = gst_element_get_static_pad(convert, "sink");
            if (GstCaps* caps = gst_pad_get_current_caps(pad)) {
                const gchar* value = gst_structure_get_string(gst_caps_get_structure(caps, 0), "colorimetry");
                result.colorimetry = value ? value : "";
                gst_caps_unref(caps);
            }
            gst_object_unref(pad);
        }
    }
    GstBus* bus = gst_element_get_bus(pipeline);
    if (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        gst_message_parse_error(message, &gerror, nullptr);
        result.error = gerror ? gerror->message : "error";
        g_clear_error(&gerror);
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(convert);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return result;
}

// PSNR over red, green and blue of the source's area of the decoded frame
// (an odd-sided source is padded by the encoder).
double psnr(const Picture& source, const DecodedFrame& decoded) {
    double squares = 0;
    for (std::uint64_t y = 0; y < source.height; ++y)
        for (std::uint64_t x = 0; x < source.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = double(source.rgba[(y * source.width + x) * 4 + c]) -
                                 double(decoded.rgba[(y * decoded.width + x) * 4 + c]);
                squares += d * d;
            }
    const double mse = squares / double(source.width * source.height * 3);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct VideoCase {
    std::string file;  // under anim/
    ExportFormat format;
    unsigned scale;
    double minimumPSNR;  // per frame, in dB
};

void PrintTo(const VideoCase& c, std::ostream* os) { *os << c.file << " " << formatName(c.format) << " x" << c.scale; }

class VideoExport : public ::testing::TestWithParam<VideoCase> {
protected:
    void SetUp() override {
        if (!haveCorpus()) GTEST_SKIP() << "corpus absent";
        gst_init(nullptr, nullptr);
    }
};

// Pixel art at scale 1 is the hard case for 4:2:0 video (a colour can change
// at every pixel: HAM, odd sizes); larger scales are the default for video.
TEST_P(VideoExport, ReadsBackEveryFrameOnTimeAndCloseToTheSource) {
    const VideoCase& c = GetParam();
    const auto file = corpusDir() / "anim" / c.file;
    const auto name = file.filename().string();
    const bool vector = file.parent_path().filename() == "vectors";
    const auto timing = vector ? file.parent_path() / (file.stem().string() + ".timing.tsv")
                               : corpusDir() / "anim" / "expected" / (name + ".timing.tsv");
    const Source source = decodeSource(file, timing, c.scale);
    ASSERT_FALSE(source.pictures.empty());

    testing::TemporaryFolder folder;
    const auto output = folder / (std::string("out.") + fileExtension(c.format));
    auto encoder = makeVideoEncoder(c.format);
    ASSERT_TRUE(encoder);
    Error error;
    EncoderSetup setup;
    setup.path = output.string();
    setup.width = source.pictures[0].width;
    setup.height = source.pictures[0].height;
    setup.pictureCount = source.pictures.size();
    ASSERT_TRUE(encoder->begin(setup, &error)) << error.localizedDescription;
    for (std::size_t i = 0; i < source.pictures.size(); ++i)
        ASSERT_TRUE(encoder->addPicture(source.pictures[i], source.starts[i], source.durations[i], &error))
            << error.localizedDescription;
    ASSERT_TRUE(encoder->finish(&error)) << error.localizedDescription;

    const ReadBack back = readBack(output);
    ASSERT_EQ(back.error, "");
    ASSERT_EQ(back.frames.size(), source.pictures.size());
    EXPECT_EQ(back.colorimetry, "bt709");
    double lowest = 1e9;
    for (std::size_t i = 0; i < back.frames.size(); ++i) {
        const auto& frame = back.frames[i];
        const auto exact = GstClockTime(source.starts[i].seconds() * GST_SECOND + 0.5);
        EXPECT_LE(std::max(frame.pts, exact) - std::min(frame.pts, exact), kTick) << "frame " << i;
        ASSERT_EQ(frame.width, (setup.width + 1) & ~1ull);
        ASSERT_EQ(frame.height, (setup.height + 1) & ~1ull);
        const double db = psnr(source.pictures[i], frame);
        lowest = std::min(lowest, db);
        EXPECT_GE(db, c.minimumPSNR) << "frame " << i;
    }
    RecordProperty("lowest_psnr", std::to_string(lowest));
    std::printf("%s %s x%u: lowest PSNR %.2f dB over %zu frames\n", name.c_str(), formatName(c.format), c.scale,
                lowest, back.frames.size());
}

// The floors are what 8-bit 4:2:0 BT.709 video keeps of hard-edged,
// saturated pixel art, 1 dB under what both encoders reach: nearly all of the
// loss is the conversion itself (the same pictures carried uncompressed
// through I420 score within 0.1 dB of these), so a broken matrix, a shifted
// or swapped frame or a worse encoder setting falls well below them.
std::vector<VideoCase> cases() {
    struct File {
        std::string path;
        unsigned scale;
        double minimumPSNR;
    };
    const std::vector<File> files = {
        {"generated/mm_op5_ham6_320x200.anim", 1, 28.5},      // HAM: a new colour at every pixel
        {"vectors/ham8_opJ_320x32_f12_il0.anim", 1, 21.0},    // HAM8
        {"generated/mm_op5_ehb_320x200.anim", 1, 27.5},       // EHB
        {"generated/pyd_op5_oddwidth_100x75.anim", 1, 19.5},  // odd height: padded
        {"generated/pyd_op5_animbrush_xor_37x29.anim", 3, 16.5},
        {"real/pydpainter_color-balls.anim", 4, 46.0},
        {"real/amospro_jbb_2_Boost.anim", 4, 34.5},  // Deluxe Paint, the default video scale
    };
    std::vector<VideoCase> out;
    for (const ExportFormat format : {ExportFormat::webm, ExportFormat::mp4})
        for (const auto& file : files) out.push_back({file.path, format, file.scale, file.minimumPSNR});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Corpus, VideoExport, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<VideoCase>& info) {
                             std::string name = std::string(formatName(info.param.format)) + "_" +
                                                std::filesystem::path(info.param.file).stem().string();
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

// A muxer that cannot write its file is the encoder's failure, in GStreamer's words.
TEST(VideoEncoderFailure, UnwritableOutputIsAnEncoderError) {
    for (const ExportFormat format : {ExportFormat::webm, ExportFormat::mp4}) {
        auto encoder = makeVideoEncoder(format);
        EncoderSetup setup;
        setup.path = "/nonexistent-folder/out.video";
        setup.width = 16;
        setup.height = 16;
        Error error;
        const Picture picture{16, 16, std::vector<std::uint8_t>(16 * 16 * 4, 255)};
        const bool written = encoder->begin(setup, &error) &&
                             encoder->addPicture(picture, MediaTime::zero(), MediaTime::make(1, 50), &error) &&
                             encoder->finish(&error);
        EXPECT_FALSE(written);
        EXPECT_EQ(error.domain, kExportErrorDomain);
        EXPECT_EQ(error.code, kExportErrorEncoder);
        EXPECT_FALSE(error.localizedDescription.empty());
    }
}

}  // namespace
}  // namespace velarium::exporter
