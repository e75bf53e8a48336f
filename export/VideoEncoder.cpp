// WebM (VP9) and MP4 (H.264) through GStreamer's own encoders and muxers:
//
//   appsrc (RGBx, variable frame rate) ! videoconvert (I420, BT.709)
//     ! vp9enc ! webmmux        or       ! openh264enc ! h264parse ! mp4mux
//     ! filesink
//
// Each picture becomes one buffer stamped with its own start and duration,
// rounded to the millisecond both containers count in; nothing in the
// pipeline adds, drops or retimes a frame.
#include <gst/app/app.h>
#include <gst/gst.h>

#include <algorithm>
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
        GstElement* convert = nullptr;
        GstElement* converted = nullptr;
        GstElement* encoder = nullptr;
        GstElement* parser = nullptr;
        GstElement* muxer = nullptr;
        GstElement* sink = nullptr;
        if (!make("appsrc", "gstreamer1.0-plugins-base", &source, error) ||
            !make("videoconvert", "gstreamer1.0-plugins-base", &convert, error) ||
            !make("capsfilter", "gstreamer1.0-plugins-base", &converted, error) ||
            !make(codec_.encoder, codec_.encoderPackage, &encoder, error) ||
            (codec_.parser && !make(codec_.parser, "gstreamer1.0-plugins-bad", &parser, error)) ||
            !make(codec_.muxer, codec_.muxerPackage, &muxer, error) ||
            !make("filesink", "gstreamer1.0 (core elements)", &sink, error))
            return false;

        // Variable frame rate: every buffer carries its own time.
        CapsOwner sourceCaps(gst_caps_new_simple(
            "video/x-raw", "format", G_TYPE_STRING, "RGBx", "width", G_TYPE_INT, static_cast<int>(paddedWidth_),
            "height", G_TYPE_INT, static_cast<int>(paddedHeight_), "framerate", GST_TYPE_FRACTION, 0, 1,
            "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
        g_object_set(source, "caps", sourceCaps.get(), "format", GST_FORMAT_TIME, "is-live", FALSE, "block", FALSE,
                     nullptr);
        // BT.709, limited range: what players assume for HD and read from
        // the tags for smaller pictures. Chroma sited at the centre of each
        // 2×2 block, so that a scaled-up pixel's colour is not smeared half
        // a pixel sideways. No dithering: flat pixel-art colours stay flat.
        gst_util_set_object_arg(G_OBJECT(convert), "dither", "none");
        CapsOwner yuvCaps(gst_caps_from_string("video/x-raw,format=I420,colorimetry=bt709,chroma-site=jpeg"));
        g_object_set(converted, "caps", yuvCaps.get(), nullptr);
        if (mp4_) {
            configureH264(encoder);
            g_object_set(muxer, "trak-timescale", kMP4TrackTimescale, nullptr);
        } else {
            configureVP9(encoder);
        }
        g_object_set(sink, "location", setup.path.c_str(), "sync", FALSE, "async", FALSE, nullptr);

        const bool linked = gst_element_link_many(source, convert, converted, encoder, nullptr) &&
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

        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, paddedWidth_ * paddedHeight_ * 4, nullptr);
        if (!buffer) return fail(error, exportError(kExportErrorEncoder, "No memory for a video frame."));
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        copyPadded(picture, map.data);
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

    // RGBx rows of the padded size; the extra column and row repeat the last.
    void copyPadded(const Picture& picture, std::uint8_t* out) const {
        const std::size_t rowBytes = width_ * 4;
        const std::size_t paddedRowBytes = paddedWidth_ * 4;
        for (std::uint64_t y = 0; y < paddedHeight_; ++y) {
            const std::uint8_t* row = picture.rgba.data() + std::min(y, height_ - 1) * rowBytes;
            std::uint8_t* target = out + y * paddedRowBytes;
            std::memcpy(target, row, rowBytes);
            if (paddedWidth_ != width_) std::memcpy(target + rowBytes, row + rowBytes - 4, 4);
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
