#include "Pipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <utility>

namespace velarium::gsttest {
namespace {

// Unrefs a GStreamer mini object when it goes out of scope.
template <typename T>
class MiniObjectHolder {
public:
    explicit MiniObjectHolder(T* object) : object_(object) {}
    ~MiniObjectHolder() { gst_mini_object_unref(GST_MINI_OBJECT_CAST(object_)); }
    MiniObjectHolder(const MiniObjectHolder&) = delete;
    MiniObjectHolder& operator=(const MiniObjectHolder&) = delete;

private:
    T* object_;
};

// The picture's bytes row by row, leaving out whatever pads each row.
std::string hashPicture(const GstVideoFrame& frame) {
    const int width = GST_VIDEO_FRAME_WIDTH(&frame), height = GST_VIDEO_FRAME_HEIGHT(&frame);
    const auto* base = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    for (int row = 0; row < height; ++row)
        EVP_DigestUpdate(context.get(), base + std::ptrdiff_t(row) * stride, std::size_t(width) * 4);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

}  // namespace

Pipeline::Pipeline(const std::string& description, Options options) : options_(options) {
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(description.c_str(), &error);
    if (error) {
        parseError_ = error->message;
        g_error_free(error);
        if (pipeline_) gst_object_unref(pipeline_);
        pipeline_ = nullptr;
        return;
    }
    sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    if (!sink_) {
        parseError_ = "no element named sink";
        return;
    }
    // A few pictures held at most: the pipeline waits for the test to take them.
    g_object_set(sink_, "sync", FALSE, "max-buffers", 4u, nullptr);
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, &Pipeline::onBusMessage, this, nullptr);
    gst_object_unref(bus);
}

Pipeline::~Pipeline() {
    if (!pipeline_) return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    if (sink_) gst_object_unref(sink_);
    gst_object_unref(pipeline_);
}

template <typename Done>
bool Pipeline::takeUntil(std::chrono::milliseconds timeout, Taking taking, Done done) {
    // The sink is asked in short turns, so that an error (which the sink
    // never hears of) ends the wait soon.
    constexpr GstClockTime kTurn = 5 * GST_MSECOND;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && !error()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        GstSample* sample = taking == Taking::frames ? gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), kTurn)
                                                     : gst_app_sink_try_pull_preroll(GST_APP_SINK(sink_), kTurn);
        if (!sample) continue;
        Frame frame = describe(sample);
        gst_sample_unref(sample);
        if (taking == Taking::frames)
            frames_.push_back(std::move(frame));
        else
            preroll_ = std::move(frame);
    }
    return true;
}

bool Pipeline::runToEnd(std::chrono::milliseconds timeout) {
    if (!sink_) return false;
    play();
    return waitForEnd(timeout);
}

bool Pipeline::preroll(std::chrono::milliseconds timeout) {
    if (!sink_) return false;
    if (gst_element_set_state(pipeline_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) return false;
    return waitForPreroll(timeout).has_value();
}

void Pipeline::play() { gst_element_set_state(pipeline_, GST_STATE_PLAYING); }

bool Pipeline::waitForEnd(std::chrono::milliseconds timeout) {
    return takeUntil(timeout, Taking::frames, [&] { return bool(gst_app_sink_is_eos(GST_APP_SINK(sink_))); });
}

bool Pipeline::waitForFrames(std::size_t count, std::chrono::milliseconds timeout) {
    return takeUntil(timeout, Taking::frames, [&] { return frames_.size() >= count; }) && !error();
}

std::optional<Frame> Pipeline::waitForPreroll(std::chrono::milliseconds timeout) {
    if (!takeUntil(timeout, Taking::preroll, [&] { return preroll_.has_value(); }) || error()) return std::nullopt;
    return std::exchange(preroll_, std::nullopt);
}

bool Pipeline::seek(GstSeekFlags flags, GstClockTime start, GstClockTime stop) {
    frames_.clear();
    preroll_.reset();
    // A stop of -1 set (rather than left as it was) plays to the end.
    return gst_element_seek(pipeline_, 1.0, GST_FORMAT_TIME, GstSeekFlags(flags | GST_SEEK_FLAG_FLUSH),
                            GST_SEEK_TYPE_SET, gint64(start), GST_SEEK_TYPE_SET,
                            GST_CLOCK_TIME_IS_VALID(stop) ? gint64(stop) : -1);
}

std::optional<BusError> Pipeline::error() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

GstElement* Pipeline::find(const char* factory) const {
    if (!pipeline_) return nullptr;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline_));
    GstElement* found = nullptr;
    GValue item = G_VALUE_INIT;
    while (!found && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* made = gst_element_get_factory(element);
        if (made && g_strcmp0(GST_OBJECT_NAME(made), factory) == 0) found = element;
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return found;  // the pipeline keeps it alive
}

GstPadMode Pipeline::demuxerSinkMode() const {
    GstElement* demuxer = find("velariumdemux");
    if (!demuxer) return GST_PAD_MODE_NONE;
    GstPad* pad = gst_element_get_static_pad(demuxer, "sink");
    const GstPadMode mode = GST_PAD_MODE(pad);
    gst_object_unref(pad);
    return mode;
}

Frame Pipeline::describe(GstSample* sample) {
    Frame frame;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    frame.pts = GST_BUFFER_PTS(buffer);
    frame.duration = GST_BUFFER_DURATION(buffer);
    segmentStart_ = gst_sample_get_segment(sample)->start;
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) return frame;
    format_ = {GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info), GST_VIDEO_INFO_FPS_N(&info),
               GST_VIDEO_INFO_FPS_D(&info), gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info))};
    if (!options_.hashFrames || GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRA) return frame;
    // Mapped through the buffer's video meta where it has one: its stride is the buffer's own.
    GstVideoFrame mapped;
    if (!gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ)) return frame;
    frame.sha256 = hashPicture(mapped);
    gst_video_frame_unmap(&mapped);
    return frame;
}

GstBusSyncReply Pipeline::onBusMessage(GstBus*, GstMessage* message, gpointer self) {
    // Nothing waits on the bus: every message ends here, and a handler that
    // drops a message owns it.
    const MiniObjectHolder<GstMessage> dropped(message);
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR) return GST_BUS_DROP;
    auto* pipeline = static_cast<Pipeline*>(self);
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    BusError posted;
    if (GST_IS_ELEMENT(GST_MESSAGE_SRC(message)))
        if (GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(GST_MESSAGE_SRC(message))))
            posted.sourceFactory = GST_OBJECT_NAME(factory);
    posted.message = error ? error->message : "";
    g_clear_error(&error);
    const GstStructure* details = nullptr;
    gst_message_parse_error_details(message, &details);
    if (details)
        if (const char* domain = gst_structure_get_string(details, "extension-error-domain"))
            posted.extensionDomain = domain;
    std::lock_guard<std::mutex> lock(pipeline->mutex_);
    if (!pipeline->error_) pipeline->error_ = std::move(posted);
    return GST_BUS_DROP;
}

std::optional<std::string> missingElement(std::initializer_list<const char*> factories) {
    for (const char* name : factories) {
        GstElementFactory* factory = gst_element_factory_find(name);
        if (!factory) return std::string(name);
        gst_object_unref(factory);
    }
    return std::nullopt;
}

}  // namespace velarium::gsttest
