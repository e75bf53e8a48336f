#include "Pipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

namespace velarium::gsttest {
namespace {

// The picture's bytes row by row, leaving out whatever pads each row.
std::string hashPicture(const GstVideoFrame& frame) {
    const auto* base = static_cast<const guint8*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    g_autoptr(GChecksum) checksum = g_checksum_new(G_CHECKSUM_SHA256);
    for (int row = 0; row < GST_VIDEO_FRAME_HEIGHT(&frame); ++row)
        g_checksum_update(checksum, base + std::ptrdiff_t(row) * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0),
                          gssize(GST_VIDEO_FRAME_WIDTH(&frame)) * 4);
    return g_checksum_get_string(checksum);
}

}  // namespace

Pipeline::Pipeline(const std::string& description, bool hashFrames) : hashFrames_(hashFrames) {
    g_autoptr(GError) error = nullptr;
    pipeline_ = ElementRef(gst_parse_launch(description.c_str(), &error));
    if (error) {
        ADD_FAILURE() << "the pipeline does not parse: " << error->message;
        pipeline_ = ElementRef();
        return;
    }
    sink_ = ElementRef(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "sink"));
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
    // The sink is asked in short turns, so that an error (which the sink
    // never hears of) ends the wait soon.
    constexpr GstClockTime kTurn = 5 * GST_MSECOND;
    auto* sink = GST_APP_SINK(sink_.get());
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && !error()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        const SampleRef sample(preroll ? gst_app_sink_try_pull_preroll(sink, kTurn)
                                       : gst_app_sink_try_pull_sample(sink, kTurn));
        if (sample) frames_.push_back(describe(sample.get()));
    }
    return true;
}

void Pipeline::play() { gst_element_set_state(get(), GST_STATE_PLAYING); }

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

std::optional<BusError> Pipeline::error() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
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
    Frame frame;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    frame.pts = GST_BUFFER_PTS(buffer);
    frame.duration = GST_BUFFER_DURATION(buffer);
    segmentStart_ = gst_sample_get_segment(sample)->start;
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) return frame;
    format_ = {gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info)), GST_VIDEO_INFO_WIDTH(&info),
               GST_VIDEO_INFO_HEIGHT(&info), GST_VIDEO_INFO_FPS_N(&info), GST_VIDEO_INFO_FPS_D(&info)};
    // Mapped through the buffer's video meta where it has one: its stride is the buffer's own.
    GstVideoFrame mapped;
    if (!hashFrames_ || GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRA ||
        !gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ))
        return frame;
    frame.sha256 = hashPicture(mapped);
    gst_video_frame_unmap(&mapped);
    return frame;
}

GstBusSyncReply Pipeline::onBusMessage(GstBus*, GstMessage* message, gpointer self) {
    // Nothing waits on the bus: every message ends here, and a handler that
    // drops a message owns it.
    const MessageRef dropped(message);
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR) return GST_BUS_DROP;
    g_autoptr(GError) error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    BusError posted;
    posted.message = error ? error->message : "";
    if (GST_IS_ELEMENT(GST_MESSAGE_SRC(message)))
        if (GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(GST_MESSAGE_SRC(message))))
            posted.sourceFactory = GST_OBJECT_NAME(factory);
    const GstStructure* details = nullptr;
    gst_message_parse_error_details(message, &details);
    if (const char* domain = details ? gst_structure_get_string(details, "extension-error-domain") : nullptr)
        posted.extensionDomain = domain;
    auto* pipeline = static_cast<Pipeline*>(self);
    std::lock_guard<std::mutex> lock(pipeline->mutex_);
    if (!pipeline->error_) pipeline->error_ = std::move(posted);
    return GST_BUS_DROP;
}

std::optional<std::string> missingElement() {
    for (const char* name :
         {"filesrc", "queue", "decodebin", "uridecodebin", "videoconvert", "capsfilter", "appsrc", "appsink"})
        if (!ObjectRef<GstElementFactory>(gst_element_factory_find(name))) return std::string(name);
    return std::nullopt;
}

bool pluginFromThisBuild() {
    const ObjectRef<GstPlugin> plugin(gst_registry_find_plugin(gst_registry_get(), "velarium"));
    const gchar* file = plugin ? gst_plugin_get_filename(plugin.get()) : nullptr;
    std::error_code failed;
    return file && std::filesystem::equivalent(file, VELARIUM_GST_PLUGIN_FILE, failed);
}

std::string decodingPipeline(const std::filesystem::path& file, Scheduling scheduling) {
    g_autofree gchar* quoted = g_strescape(file.c_str(), nullptr);
    return std::string("filesrc location=\"") + quoted + "\" ! " + (scheduling == Scheduling::push ? "queue ! " : "") +
           "decodebin ! videoconvert ! video/x-raw,format=BGRA ! appsink name=sink";
}

std::string describe(const std::optional<BusError>& error) {
    if (!error) return "no error";
    const std::string domain = error->extensionDomain.empty() ? "" : " (" + error->extensionDomain + ")";
    return error->sourceFactory + ": " + error->message + domain;
}

}  // namespace velarium::gsttest
