#include "Pipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <openssl/evp.h>

#include <cstdio>
#include <memory>

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
    g_object_set(sink_, "sync", FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.eos = [](GstAppSink* sink, gpointer self) { onEndOfStream(GST_ELEMENT(sink), self); };
    callbacks.new_preroll = [](GstAppSink* sink, gpointer self) { return onPreroll(GST_ELEMENT(sink), self); };
    callbacks.new_sample = [](GstAppSink* sink, gpointer self) { return onSample(GST_ELEMENT(sink), self); };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink_), &callbacks, this, nullptr);

    GstPad* pad = gst_element_get_static_pad(sink_, "sink");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_FLUSH, &Pipeline::onFlush, this, nullptr);
    gst_object_unref(pad);

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
bool Pipeline::waitFor(std::chrono::milliseconds timeout, Done done) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return error_.has_value() || done(); });
}

bool Pipeline::runToEnd(std::chrono::milliseconds timeout) {
    if (!sink_) return false;
    play();
    return waitForEnd(timeout);
}

bool Pipeline::preroll(std::chrono::milliseconds timeout) {
    if (!sink_) return false;
    if (gst_element_set_state(pipeline_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) return false;
    return waitFor(timeout, [&] { return preroll_.has_value(); }) && !error();
}

void Pipeline::play() { gst_element_set_state(pipeline_, GST_STATE_PLAYING); }

bool Pipeline::waitForEnd(std::chrono::milliseconds timeout) {
    return waitFor(timeout, [&] { return endOfStream_; });
}

bool Pipeline::waitForFrames(std::size_t count, std::chrono::milliseconds timeout) {
    return waitFor(timeout, [&] { return frames_.size() >= count; }) && !error();
}

std::optional<Frame> Pipeline::waitForPreroll(std::chrono::milliseconds timeout) {
    if (!waitFor(timeout, [&] { return preroll_.has_value(); })) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    return preroll_;
}

bool Pipeline::seek(GstSeekFlags flags, GstClockTime start, GstClockTime stop) {
    // A stop of -1 set (rather than left as it was) plays to the end.
    return gst_element_seek(pipeline_, 1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, gint64(start),
                            GST_SEEK_TYPE_SET, GST_CLOCK_TIME_IS_VALID(stop) ? gint64(stop) : -1);
}

std::vector<Frame> Pipeline::frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

std::optional<BusError> Pipeline::error() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

bool Pipeline::endOfStream() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return endOfStream_;
}

StreamFormat Pipeline::format() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return format_;
}

GstClockTime Pipeline::segmentStart() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return segmentStart_;
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
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) return frame;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        format_ = {GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info), GST_VIDEO_INFO_FPS_N(&info),
                   GST_VIDEO_INFO_FPS_D(&info), gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info))};
        segmentStart_ = gst_sample_get_segment(sample)->start;
    }
    if (!options_.hashFrames || GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRA) return frame;
    // Mapped through the buffer's video meta where it has one: its stride is the buffer's own.
    GstVideoFrame mapped;
    if (!gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ)) return frame;
    frame.sha256 = hashPicture(mapped);
    gst_video_frame_unmap(&mapped);
    return frame;
}

GstFlowReturn Pipeline::onSample(GstElement* sink, gpointer self) {
    auto* pipeline = static_cast<Pipeline*>(self);
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    if (!sample) return GST_FLOW_FLUSHING;
    Frame frame = pipeline->describe(sample);
    gst_sample_unref(sample);
    {
        std::lock_guard<std::mutex> lock(pipeline->mutex_);
        pipeline->frames_.push_back(std::move(frame));
    }
    pipeline->changed_.notify_all();
    return GST_FLOW_OK;
}

GstFlowReturn Pipeline::onPreroll(GstElement* sink, gpointer self) {
    auto* pipeline = static_cast<Pipeline*>(self);
    GstSample* sample = gst_app_sink_pull_preroll(GST_APP_SINK(sink));
    if (!sample) return GST_FLOW_FLUSHING;
    Frame frame = pipeline->describe(sample);
    gst_sample_unref(sample);
    {
        std::lock_guard<std::mutex> lock(pipeline->mutex_);
        pipeline->preroll_ = std::move(frame);
    }
    pipeline->changed_.notify_all();
    return GST_FLOW_OK;
}

void Pipeline::onEndOfStream(GstElement*, gpointer self) {
    auto* pipeline = static_cast<Pipeline*>(self);
    {
        std::lock_guard<std::mutex> lock(pipeline->mutex_);
        pipeline->endOfStream_ = true;
    }
    pipeline->changed_.notify_all();
}

GstPadProbeReturn Pipeline::onFlush(GstPad*, GstPadProbeInfo* info, gpointer self) {
    // The flush ends everything that came before the seek.
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) != GST_EVENT_FLUSH_STOP) return GST_PAD_PROBE_OK;
    auto* pipeline = static_cast<Pipeline*>(self);
    std::lock_guard<std::mutex> lock(pipeline->mutex_);
    pipeline->frames_.clear();
    pipeline->preroll_.reset();
    pipeline->endOfStream_ = false;
    pipeline->segmentStart_ = GST_CLOCK_TIME_NONE;
    return GST_PAD_PROBE_OK;
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
    posted.source = GST_MESSAGE_SRC_NAME(message) ? GST_MESSAGE_SRC_NAME(message) : "";
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
    {
        std::lock_guard<std::mutex> lock(pipeline->mutex_);
        if (!pipeline->error_) pipeline->error_ = std::move(posted);
    }
    pipeline->changed_.notify_all();
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
