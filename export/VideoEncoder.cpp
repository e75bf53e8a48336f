// WebM (VP9) and MP4 (H.264) through GStreamer's own encoders and muxers:
//
//   appsrc (I420, BT.709, variable frame rate)
//     ! vp9enc ! webmmux        or       ! openh264enc ! h264parse ! mp4mux
//     ! filesink
//
// The pictures are turned into I420 here rather than by videoconvert, whose
// 8-bit matrix is off by one level (grey comes out with a blue cast): flat
// pixel-art colours show that at once.
//
// Each picture becomes one buffer stamped with its own start and duration,
// rounded to the millisecond both containers count in; nothing in the
// pipeline adds, drops or retimes a frame.
#include <gst/app/app.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "export/AnimationEncoder.h"
#include "export/ExportError.h"

namespace velarium::exporter {

namespace {

// Owners of the few GStreamer references this file holds (the plugin has
// its own; the exporter sits below it and does not include it).
struct ObjectRelease {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
struct MessageRelease {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
struct CapsRelease {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
using PipelineOwner = std::unique_ptr<GstElement, ObjectRelease>;
using BusOwner = std::unique_ptr<GstBus, ObjectRelease>;
using MessageOwner = std::unique_ptr<GstMessage, MessageRelease>;
using CapsOwner = std::unique_ptr<GstCaps, CapsRelease>;

// The millisecond both WebM and MP4 (at the track timescale chosen below)
// store times in exactly.
constexpr std::int32_t kTicksPerSecond = 1000;
constexpr GstClockTime kNanosecondsPerTick = GST_SECOND / kTicksPerSecond;
// MP4's track timescale: the usual one for video, a multiple of the tick.
constexpr guint kMP4TrackTimescale = 90000;
// Pictures waiting in appsrc before addPicture waits for the encoder: a
// full HD picture is 8 MB, and the encoder has its own look-ahead.
constexpr guint64 kQueuedPictures = 4;
// How often a waiting addPicture looks at the bus for an error.
constexpr GstClockTime kBusPollInterval = 20 * GST_MSECOND;

// BT.709 RGB to limited-range YCbCr in 16.16 fixed point: Y' = 16..235,
// Cb and Cr = 128 ± 112. The colour-difference rows sum to exactly zero so
// that every grey gets Cb = Cr = 128.
constexpr double kRed = 0.2126, kBlue = 0.0722, kGreen = 1 - kRed - kBlue;
constexpr double kLumaScale = 219.0 / 255.0 * 65536, kChromaScale = 224.0 / 255.0 * 65536;
constexpr std::int32_t fixedPoint(double value) { return static_cast<std::int32_t>(value + (value < 0 ? -0.5 : 0.5)); }
constexpr std::int32_t kLuma[3] = {fixedPoint(kRed * kLumaScale), fixedPoint(kGreen * kLumaScale),
                                   fixedPoint(kBlue * kLumaScale)};
struct ChromaRow {
    std::int32_t red, green, blue;
};
constexpr ChromaRow differenceRow(std::int32_t red, std::int32_t green) { return {red, green, -red - green}; }
constexpr ChromaRow kBlueDifference = differenceRow(fixedPoint(-kRed / (2 * (1 - kBlue)) * kChromaScale),
                                                   fixedPoint(-kGreen / (2 * (1 - kBlue)) * kChromaScale));
constexpr ChromaRow kRedDifference = differenceRow(fixedPoint(0.5 * kChromaScale),
                                                  fixedPoint(-kGreen / (2 * (1 - kRed)) * kChromaScale));

// What one level of Cb or Cr adds to red, green or blue when decoded.
constexpr double kChromaLevel = 255.0 / 224.0;
constexpr double kRedFromCr = 2 * (1 - kRed) * kChromaLevel;
constexpr double kBlueFromCb = 2 * (1 - kBlue) * kChromaLevel;
constexpr double kGreenFromCb = 2 * kBlue * (1 - kBlue) / kGreen * kChromaLevel;
constexpr double kGreenFromCr = 2 * kRed * (1 - kRed) / kGreen * kChromaLevel;

std::uint8_t lumaLevel(std::int32_t red, std::int32_t green, std::int32_t blue) {
    return static_cast<std::uint8_t>((kLuma[0] * red + kLuma[1] * green + kLuma[2] * blue + (16 << 16) + (1 << 15)) >> 16);
}

// Of a 2×2 block, from the sums of its red, green and blue.
std::uint8_t chromaLevel(const ChromaRow& row, const std::int32_t sum[3]) {
    const std::int32_t value = row.red * sum[0] + row.green * sum[1] + row.blue * sum[2];
    return static_cast<std::uint8_t>((value + (128 << 18) + (1 << 17)) >> 18);
}

struct Codec {
    const char* encoder;
    const char* encoderPackage;
    const char* parser;  // between encoder and muxer, or null
    const char* muxer;
    const char* muxerPackage;
};

constexpr Codec kVP9{"vp9enc", "gstreamer1.0-plugins-good", nullptr, "webmmux", "gstreamer1.0-plugins-good"};
constexpr Codec kH264{"openh264enc", "gstreamer1.0-plugins-bad", "h264parse", "mp4mux", "gstreamer1.0-plugins-good"};

// Encoder settings, chosen for hard-edged pixel art: a fixed, fine quantizer
// keeps every frame near its source whatever its content, and the fastest
// presets still meet that quality at a few times real time on full HD.
void configureVP9(GstElement* encoder) {
    gst_util_set_object_arg(G_OBJECT(encoder), "end-usage", "cq");
    g_object_set(encoder, "cq-level", 4, "min-quantizer", 0, "max-quantizer", 12, "target-bitrate", 200'000'000,
                 "deadline", G_GINT64_CONSTANT(1), "cpu-used", 6, "threads", 2, "row-mt", TRUE, "lag-in-frames", 0,
                 nullptr);
}

void configureH264(GstElement* encoder) {
    gst_util_set_object_arg(G_OBJECT(encoder), "rate-control", "quality");
    gst_util_set_object_arg(G_OBJECT(encoder), "usage-type", "screen");
    gst_util_set_object_arg(G_OBJECT(encoder), "complexity", "low");
    g_object_set(encoder, "bitrate", 200'000'000u, "max-bitrate", 0u, "qp-min", 10u, "qp-max", 18u,
                 "enable-frame-skip", FALSE, "multi-thread", 2u, nullptr);
}

bool initialiseGStreamer(Error* error) {
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        GError* gerror = nullptr;
        if (!gst_init_check(nullptr, nullptr, &gerror)) {
            failure = gerror ? gerror->message : "GStreamer could not be started.";
            g_clear_error(&gerror);
        }
    });
    if (failure.empty()) return true;
    return fail(error, exportError(kExportErrorEncoder, failure));
}

// The text of an error message: GStreamer's sentence, and the element that said it.
std::string describe(GstMessage* message) {
    GError* gerror = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &gerror, &debug);
    std::string text = gerror ? gerror->message : "The video encoder failed.";
    if (GST_MESSAGE_SRC(message)) text += std::string(" (") + GST_OBJECT_NAME(GST_MESSAGE_SRC(message)) + ")";
    g_clear_error(&gerror);
    g_free(debug);
    return text;
}

class VideoEncoder final : public AnimationEncoder {
public:
    explicit VideoEncoder(const Codec& codec, bool mp4) : codec_(codec), mp4_(mp4) {}

    ~VideoEncoder() override {
        if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    }

    bool begin(const EncoderSetup& setup, Error* error) override {
        if (!initialiseGStreamer(error)) return false;
        if (setup.width == 0 || setup.height == 0)
            return fail(error, exportError(kExportErrorEncoder, "The pictures to encode are empty."));
        width_ = setup.width;
        height_ = setup.height;
        // 4:2:0 video needs even sides: an odd picture gets one more column
        // or row, a copy of its last, rather than being scaled.
        paddedWidth_ = (width_ + 1) & ~std::uint64_t{1};
        paddedHeight_ = (height_ + 1) & ~std::uint64_t{1};

        pipeline_.reset(gst_pipeline_new("velarium-video-export"));
        GstElement* source = nullptr;
        GstElement* encoder = nullptr;
        GstElement* parser = nullptr;
        GstElement* muxer = nullptr;
        GstElement* sink = nullptr;
        if (!make("appsrc", "gstreamer1.0-plugins-base", &source, error) ||
            !make(codec_.encoder, codec_.encoderPackage, &encoder, error) ||
            (codec_.parser && !make(codec_.parser, "gstreamer1.0-plugins-bad", &parser, error)) ||
            !make(codec_.muxer, codec_.muxerPackage, &muxer, error) ||
            !make("filesink", "gstreamer1.0 (core elements)", &sink, error))
            return false;

        // Variable frame rate: every buffer carries its own time. BT.709,
        // limited range: what players assume for HD and read from the tags
        // for smaller pictures. Chroma sited at the centre of each 2×2 block
        // (the average of its four pixels), so that a scaled-up pixel's
        // colour is not smeared half a pixel sideways.
        gst_video_info_set_format(&yuvInfo_, GST_VIDEO_FORMAT_I420, static_cast<guint>(paddedWidth_),
                                  static_cast<guint>(paddedHeight_));
        GST_VIDEO_INFO_FPS_N(&yuvInfo_) = 0;
        GST_VIDEO_INFO_FPS_D(&yuvInfo_) = 1;
        GST_VIDEO_INFO_CHROMA_SITE(&yuvInfo_) = GST_VIDEO_CHROMA_SITE_JPEG;
        gst_video_colorimetry_from_string(&GST_VIDEO_INFO_COLORIMETRY(&yuvInfo_), GST_VIDEO_COLORIMETRY_BT709);
        CapsOwner sourceCaps(gst_video_info_to_caps(&yuvInfo_));
        g_object_set(source, "caps", sourceCaps.get(), "format", GST_FORMAT_TIME, "is-live", FALSE, "block", FALSE,
                     nullptr);
        if (mp4_) {
            configureH264(encoder);
            g_object_set(muxer, "trak-timescale", kMP4TrackTimescale, nullptr);
        } else {
            configureVP9(encoder);
        }
        g_object_set(sink, "location", setup.path.c_str(), "sync", FALSE, "async", FALSE, nullptr);

        const bool linked = gst_element_link(source, encoder) &&
                            (parser ? gst_element_link_many(encoder, parser, muxer, nullptr)
                                    : gst_element_link(encoder, muxer)) &&
                            gst_element_link(muxer, sink);
        if (!linked)
            return fail(error, exportError(kExportErrorEncoder, std::string("The elements of the ") + codec_.muxer +
                                                                    " pipeline could not be linked."));
        if (parser) restoreDurationsAfter(parser);
        source_ = GST_APP_SRC(source);
        bus_.reset(gst_element_get_bus(pipeline_.get()));
        if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
            return failFromBus(error, "The video encoder could not be started.");
        return true;
    }

    bool addPicture(const Picture& picture, MediaTime start, MediaTime duration, Error* error) override {
        if (!source_) return fail(error, exportError(kExportErrorEncoder, "The video encoder was not started."));
        if (picture.width != width_ || picture.height != height_ || picture.rgba.size() != width_ * height_ * 4)
            return fail(error, exportError(kExportErrorEncoder, "A picture does not have the size of the video."));

        // Starts are rounded one by one (never by summing rounded durations)
        // so that no error builds up; a picture shorter than a tick still
        // gets one, so that no two frames share a time.
        std::int64_t startTick = start.convertScale(kTicksPerSecond).value;
        if (haveTick_) startTick = std::max(startTick, lastTick_ + 1);
        const std::int64_t endTick =
            std::max((start + duration).convertScale(kTicksPerSecond).value, startTick + 1);
        lastTick_ = startTick;
        haveTick_ = true;

        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&yuvInfo_), nullptr);
        if (!buffer) return fail(error, exportError(kExportErrorEncoder, "No memory for a video frame."));
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        convertToI420(picture, map.data);
        gst_buffer_unmap(buffer, &map);
        GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(startTick) * kNanosecondsPerTick;
        GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DURATION(buffer) = static_cast<GstClockTime>(endTick - startTick) * kNanosecondsPerTick;
        {
            std::lock_guard lock(durationsMutex_);
            durations_[GST_BUFFER_PTS(buffer)] = GST_BUFFER_DURATION(buffer);
        }

        if (!waitForRoom(error)) {
            gst_buffer_unref(buffer);
            return false;
        }
        if (gst_app_src_push_buffer(source_, buffer) != GST_FLOW_OK)
            return failFromBus(error, "The video encoder stopped taking pictures.");
        return true;
    }

    bool finish(Error* error) override {
        if (!source_) return fail(error, exportError(kExportErrorEncoder, "The video encoder was not started."));
        if (gst_app_src_end_of_stream(source_) != GST_FLOW_OK)
            return failFromBus(error, "The video encoder stopped before the end.");
        MessageOwner message(gst_bus_timed_pop_filtered(
            bus_.get(), GST_CLOCK_TIME_NONE, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        const bool complete = message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
        std::string failure = complete || !message ? "The video encoder did not finish." : describe(message.get());
        // The muxer has written and closed the file when the pipeline stops.
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        source_ = nullptr;
        if (!complete) return fail(error, exportError(kExportErrorEncoder, failure));
        return true;
    }

private:
    // h264parse forgets each frame's duration, and without a frame rate
    // mp4mux then cannot place the last frame and leaves it out; each frame
    // gets its duration back by its start (H.264 here has no reordering).
    void restoreDurationsAfter(GstElement* parser) {
        GstPad* pad = gst_element_get_static_pad(parser, "src");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &VideoEncoder::restoreDuration, this, nullptr);
        gst_object_unref(pad);
    }

    static GstPadProbeReturn restoreDuration(GstPad*, GstPadProbeInfo* info, gpointer self) {
        auto* encoder = static_cast<VideoEncoder*>(self);
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        std::lock_guard lock(encoder->durationsMutex_);
        const auto found = encoder->durations_.find(GST_BUFFER_PTS(buffer));
        if (found == encoder->durations_.end()) return GST_PAD_PROBE_OK;
        if (!GST_BUFFER_DURATION_IS_VALID(buffer)) {
            buffer = gst_buffer_make_writable(buffer);
            GST_BUFFER_DURATION(buffer) = found->second;
            GST_PAD_PROBE_INFO_DATA(info) = buffer;
        }
        encoder->durations_.erase(found);
        return GST_PAD_PROBE_OK;
    }

    // A new element of the pipeline.
    bool make(const char* factory, const char* package, GstElement** element, Error* error) {
        *element = gst_element_factory_make(factory, nullptr);
        // The pipeline owns it from here on, whatever happens next.
        if (*element && gst_bin_add(GST_BIN(pipeline_.get()), *element)) return true;
        return fail(error, Error(kExportErrorDomain, kExportErrorEncoder,
                                 std::string("The GStreamer element \"") + factory + "\" is missing.",
                                 std::string("Install ") + package + "."));
    }

    // The picture as I420 of the padded size (the extra column and row repeat
    // the last). Chroma is the average of each 2×2 block; where the block's
    // pixels differ in colour that average cannot be right for any of them,
    // so each pixel's luma is the one that brings its red, green and blue
    // closest to the source given the block's chroma, rather than its own
    // luma. Where a block is one colour the two are the same.
    void convertToI420(const Picture& picture, std::uint8_t* out) const {
        const auto pixel = [&](std::uint64_t x, std::uint64_t y) {
            return picture.rgba.data() + (std::min(y, height_ - 1) * width_ + std::min(x, width_ - 1)) * 4;
        };
        std::uint8_t* const yPlane = out + GST_VIDEO_INFO_PLANE_OFFSET(&yuvInfo_, 0);
        std::uint8_t* const uPlane = out + GST_VIDEO_INFO_PLANE_OFFSET(&yuvInfo_, 1);
        std::uint8_t* const vPlane = out + GST_VIDEO_INFO_PLANE_OFFSET(&yuvInfo_, 2);
        const std::uint64_t yStride = GST_VIDEO_INFO_PLANE_STRIDE(&yuvInfo_, 0);
        const std::uint64_t uStride = GST_VIDEO_INFO_PLANE_STRIDE(&yuvInfo_, 1);
        const std::uint64_t vStride = GST_VIDEO_INFO_PLANE_STRIDE(&yuvInfo_, 2);
        for (std::uint64_t y = 0; y < paddedHeight_; y += 2)
            for (std::uint64_t x = 0; x < paddedWidth_; x += 2) {
                const std::uint8_t* block[4] = {pixel(x, y), pixel(x + 1, y), pixel(x, y + 1), pixel(x + 1, y + 1)};
                std::int32_t sum[3] = {0, 0, 0};
                bool flat = true;
                for (const std::uint8_t* rgb : block) {
                    for (int c = 0; c < 3; ++c) sum[c] += rgb[c];
                    flat = flat && std::memcmp(rgb, block[0], 3) == 0;
                }
                const std::uint8_t u = chromaLevel(kBlueDifference, sum);
                const std::uint8_t v = chromaLevel(kRedDifference, sum);
                uPlane[(y / 2) * uStride + x / 2] = u;
                vPlane[(y / 2) * vStride + x / 2] = v;
                // What the block's chroma adds to each of red, green and blue.
                const double cb = u - 128.0, cr = v - 128.0;
                const double added = (kRedFromCr * cr) + (-kGreenFromCb * cb - kGreenFromCr * cr) + (kBlueFromCb * cb);
                for (int i = 0; i < 4; ++i) {
                    const std::uint8_t* rgb = block[i];
                    std::uint8_t level = lumaLevel(rgb[0], rgb[1], rgb[2]);
                    if (!flat) {
                        const double luma = (rgb[0] + rgb[1] + rgb[2] - added) / 3 * (219.0 / 255.0) + 16;
                        level = static_cast<std::uint8_t>(std::clamp(std::lround(luma), 16l, 235l));
                    }
                    yPlane[(y + i / 2) * yStride + x + i % 2] = level;
                }
            }
    }

    // Holds the caller back while appsrc has enough pictures queued, watching
    // the bus so that an encoder that failed does not leave it waiting.
    bool waitForRoom(Error* error) {
        while (gst_app_src_get_current_level_buffers(source_) >= kQueuedPictures) {
            MessageOwner message(gst_bus_timed_pop_filtered(bus_.get(), kBusPollInterval, GST_MESSAGE_ERROR));
            if (message) return fail(error, exportError(kExportErrorEncoder, describe(message.get())));
        }
        return true;
    }

    // The pipeline's own error when it posted one, else `fallback`.
    bool failFromBus(Error* error, const char* fallback) {
        MessageOwner message(gst_bus_pop_filtered(bus_.get(), GST_MESSAGE_ERROR));
        return fail(error, exportError(kExportErrorEncoder, message ? describe(message.get()) : fallback));
    }

    const Codec& codec_;
    const bool mp4_;
    std::uint64_t width_ = 0;
    std::uint64_t height_ = 0;
    std::uint64_t paddedWidth_ = 0;
    GstVideoInfo yuvInfo_{};
    std::uint64_t paddedHeight_ = 0;
    PipelineOwner pipeline_;
    BusOwner bus_;
    GstAppSrc* source_ = nullptr;  // owned by the pipeline
    std::mutex durationsMutex_;
    std::map<GstClockTime, GstClockTime> durations_;  // by start, of pictures not yet through the parser
    std::int64_t lastTick_ = 0;
    bool haveTick_ = false;
};

}  // namespace

std::unique_ptr<AnimationEncoder> makeVideoEncoder(ExportFormat format) {
    switch (format) {
        case ExportFormat::webm:
            return std::make_unique<VideoEncoder>(kVP9, false);
        case ExportFormat::mp4:
            return std::make_unique<VideoEncoder>(kH264, true);
        default:
            return nullptr;
    }
}

}  // namespace velarium::exporter
