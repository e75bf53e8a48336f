#include "Pipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

namespace velarium::gsttest {

Pipeline::Pipeline(const std::string& description, bool hashFrames) : hashFrames_(hashFrames) {
    g_autoptr(GError) error = nullptr;
    pipeline_ = ElementRef(gst_parse_launch(description.c_str(), &error));
    if (error) {
        ADD_FAILURE() << "the pipeline does not parse: " << error->message;
        pipeline_ = ElementRef();
        return;
    }
    sink_ = ElementRef(gst_bin_get_by_name(GST_BIN(get()), "sink"));
    // A few pictures held at most: the pipeline waits for the test to take them.
    g_object_set(sink_.get(), "sync", FALSE, "max-buffers", 4u, nullptr);
    gst_bus_set_sync_handler(BusRef(gst_element_get_bus(get())).get(), &Pipeline::onBusMessage, this, nullptr);
}

Pipeline::~Pipeline() {
    if (!pipeline_) return;
    gst_element_set_state(get(), GST_STATE_NULL);
    gst_bus_set_sync_handler(BusRef(gst_element_get_bus(get())).get(), nullptr, nullptr, nullptr);
}

template <typename Done>
bool Pipeline::takeUntil(std::chrono::milliseconds timeout, bool preroll, Done done) {
    // In short turns, so that an error (which the sink never hears of) ends the wait soon.
    auto* sink = GST_APP_SINK(sink_.get());
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && !error()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        const SampleRef sample(preroll ? gst_app_sink_try_pull_preroll(sink, 5 * GST_MSECOND)
                                       : gst_app_sink_try_pull_sample(sink, 5 * GST_MSECOND));
        if (sample) frames_.push_back(describe(sample.get()));
    }
    // What reached the sink before an error was shown too.
    for (SampleRef sample; !preroll && error() && (sample = SampleRef(gst_app_sink_try_pull_sample(sink, 0)));)
        frames_.push_back(describe(sample.get()));
    return true;
}

bool Pipeline::takeFrames(std::size_t count, std::chrono::milliseconds timeout) {
    return sink_ && takeUntil(timeout, false, [&] {
               return frames_.size() >= count || gst_app_sink_is_eos(GST_APP_SINK(sink_.get()));
           });
}

std::optional<Frame> Pipeline::preroll(std::chrono::milliseconds timeout) {
    if (!sink_ || gst_element_set_state(get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) return std::nullopt;
    if (!takeUntil(timeout, true, [&] { return !frames_.empty(); }) || error()) return std::nullopt;
    return frames_.back();
}

bool Pipeline::seek(GstSeekFlags flags, GstClockTime start, GstClockTime stop) {
    frames_.clear();
    // A stop of -1 set (rather than left as it was) plays to the end.
    return gst_element_seek(get(), 1.0, GST_FORMAT_TIME, GstSeekFlags(flags | GST_SEEK_FLAG_FLUSH), GST_SEEK_TYPE_SET,
                            gint64(start), GST_SEEK_TYPE_SET, GST_CLOCK_TIME_IS_VALID(stop) ? gint64(stop) : -1);
}

std::optional<Scheduling> Pipeline::demuxerScheduling() const {
    g_autoptr(GstIterator) it = gst_bin_iterate_all_by_element_factory_name(GST_BIN(get()), "velariumdemux");
    g_auto(GValue) item = G_VALUE_INIT;
    if (gst_iterator_next(it, &item) != GST_ITERATOR_OK) return std::nullopt;
    const PadRef pad(gst_element_get_static_pad(GST_ELEMENT(g_value_get_object(&item)), "sink"));
    if (GST_PAD_MODE(pad.get()) == GST_PAD_MODE_NONE) return std::nullopt;
    return GST_PAD_MODE(pad.get()) == GST_PAD_MODE_PULL ? Scheduling::pull : Scheduling::push;
}

Frame Pipeline::describe(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    Frame frame{"", GST_BUFFER_PTS(buffer), GST_BUFFER_DURATION(buffer)};
    guint8 first = 0;
    if (gst_buffer_extract(buffer, 0, &first, 1) == 1) frame.firstByte = first;
    segmentStart_ = gst_sample_get_segment(sample)->start;
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) return frame;
    g_autofree gchar* format = g_strdup_printf("%s %dx%d at %d/%d", gst_video_format_to_string(info.finfo->format),
                                               info.width, info.height, info.fps_n, info.fps_d);
    format_ = format;
    // Mapped through the buffer's video meta where it has one, and hashed
    // row by row leaving out whatever pads each row.
    GstVideoFrame mapped;
    if (!hashFrames_ || GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRA ||
        !gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ))
        return frame;
    g_autoptr(GChecksum) checksum = g_checksum_new(G_CHECKSUM_SHA256);
    const auto* base = static_cast<const guint8*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0));
    for (int row = 0; row < GST_VIDEO_FRAME_HEIGHT(&mapped); ++row)
        g_checksum_update(checksum, base + std::ptrdiff_t(row) * GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0),
                          gssize(GST_VIDEO_FRAME_WIDTH(&mapped)) * 4);
    frame.sha256 = g_checksum_get_string(checksum);
    gst_video_frame_unmap(&mapped);
    return frame;
}

GstBusSyncReply Pipeline::onBusMessage(GstBus*, GstMessage* message, gpointer self) {
    // Nothing waits on the bus: a handler that drops a message owns it.
    const MessageRef dropped(message);
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR) return GST_BUS_DROP;
    g_autoptr(GError) error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    const GstStructure* details = nullptr;
    gst_message_parse_error_details(message, &details);
    const char* domain = details ? gst_structure_get_string(details, "extension-error-domain") : nullptr;
    const GValue* code = details ? gst_structure_get_value(details, "extension-error-code") : nullptr;
    GstObject* source = GST_MESSAGE_SRC(message);
    GstElementFactory* factory = GST_IS_ELEMENT(source) ? gst_element_get_factory(GST_ELEMENT(source)) : nullptr;
    auto* pipeline = static_cast<Pipeline*>(self);
    std::lock_guard<std::mutex> lock(pipeline->mutex_);
    if (!pipeline->error_)
        pipeline->error_ = BusError{factory ? GST_OBJECT_NAME(factory) : "", error ? error->message : "",
                                    domain ? domain : "", code ? g_value_get_long(code) : 0};
    return GST_BUS_DROP;
}

std::string decodingPipeline(const std::filesystem::path& file, Scheduling scheduling, const char* elements) {
    g_autofree gchar* quoted = g_strescape(file.c_str(), nullptr);
    return std::string("filesrc location=\"") + quoted + "\" ! " + (scheduling == Scheduling::push ? "queue ! " : "") +
           elements + " ! appsink name=sink";
}

std::string describe(const std::optional<BusError>& error) {
    if (!error) return "no error";
    return error->sourceFactory + ": " + error->message +
           (error->extensionDomain.empty() ? "" : " (" + error->extensionDomain + ")");
}

}  // namespace velarium::gsttest
