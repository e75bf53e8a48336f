// libFuzzer target: the input, as an ANIM file, pushed through
//   appsrc ! velariumdemux ! velariumdec ! fakesink
// as a stream without random access, as a network source or a pipe hands it
// over; a stream that plays to its end is then sought back to its middle, as
// a player's position bar does, and played to its end again. Each time the
// pipeline must reach the end of the stream or an error within a bound; a
// pipeline still running past it is a hang, and the process aborts so that
// libFuzzer keeps the input.
//
// The elements are registered from the static library, and the two
// extensions load from this build, before fuzzing starts, so that libFuzzer
// sees the coverage of all three. GStreamer reads a registry of its own and
// loads only the two plugins of its own the pipeline needs.
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <sanitizer/lsan_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gstreamer/ExtensionHost.h"
#include "gstreamer/GstHandles.h"
#include "gstreamer/VelariumDec.h"
#include "gstreamer/VelariumDemux.h"
#include "support/IFFWriter.h"

namespace {

using namespace velarium::gst;

// Far beyond what any input of the fuzzer's size takes, even on a loaded machine.
constexpr GstClockTime kLongestRun = 20 * GST_SECOND;

// The pixels the demuxer may hand on per input: an input that claims a large
// picture and many frames would otherwise make every run slow. Past the
// budget downstream answers "end of stream", as a sink that has seen enough.
constexpr std::uint64_t kPixelBudget = std::uint64_t(1) << 22;
constexpr std::uint64_t kBytesPerPixel = 4;

// The input arrives in pieces, as upstream pushes a stream.
constexpr std::size_t kPushPiece = 16384;

GstPadProbeReturn spendPixels(GstPad*, GstPadProbeInfo* info, gpointer budget) {
    auto& left = *static_cast<std::uint64_t*>(budget);
    const std::uint64_t pixels = gst_buffer_get_size(GST_PAD_PROBE_INFO_BUFFER(info)) / kBytesPerPixel;
    if (pixels <= left) {
        left -= pixels;
        return GST_PAD_PROBE_OK;
    }
    const BufferRef dropped(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_EOS;
    return GST_PAD_PROBE_HANDLED;
}

// What the demuxer's signal and probe use; it outlives the pipeline.
struct Run {
    GstElement* decoder = nullptr;
    std::uint64_t pixelsLeft = kPixelBudget;
};

void linkStream(GstElement*, GstPad* pad, gpointer data) {
    auto* run = static_cast<Run*>(data);
    const PadRef sink(gst_element_get_static_pad(run->decoder, "sink"));
    if (gst_pad_link(pad, sink.get()) != GST_PAD_LINK_OK) {
        std::fprintf(stderr, "the demuxer's stream pad does not link to the decoder\n");
        std::abort();
    }
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, spendPixels, &run->pixelsLeft, nullptr);
}

GstElement* make(const char* factory, const char* name) {
    GstElement* element = gst_element_factory_make(factory, name);
    if (!element) {
        std::fprintf(stderr, "no element %s\n", factory);
        std::abort();
    }
    return element;
}

// The end of the stream or an error; aborts when neither comes in time.
GstMessageType awaitEnd(GstElement* pipeline) {
    const BusRef bus(gst_element_get_bus(pipeline));
    const MessageRef end(
        gst_bus_timed_pop_filtered(bus.get(), kLongestRun, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    if (!end) {
        std::fprintf(stderr, "the pipeline neither reached the end of the stream nor failed in %" GST_TIME_FORMAT "\n",
                     GST_TIME_ARGS(kLongestRun));
        std::abort();
    }
    return GST_MESSAGE_TYPE(end.get());
}

void play(const std::uint8_t* data, std::size_t size) {
    Run run;
    const ElementRef pipeline(gst_pipeline_new("fuzz"));
    GstElement* source = make("appsrc", "source");
    GstElement* demuxer = make("velariumdemux", "demuxer");
    run.decoder = make("velariumdec", "decoder");
    GstElement* sink = make("fakesink", "sink");
    gst_bin_add_many(GST_BIN(pipeline.get()), source, demuxer, run.decoder, sink, nullptr);
    if (!gst_element_link(source, demuxer) || !gst_element_link(run.decoder, sink)) std::abort();
    g_signal_connect(demuxer, "pad-added", G_CALLBACK(linkStream), &run);

    const CapsRef caps(gst_caps_new_empty_simple("video/x-anim"));
    g_object_set(source, "caps", caps.get(), "format", GST_FORMAT_BYTES, "size", gint64(size), nullptr);
    g_object_set(sink, "sync", FALSE, nullptr);

    // The source starts on the way to PLAYING; then the stream goes in.
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    for (std::size_t at = 0; at < size; at += kPushPiece) {
        const std::size_t length = std::min(kPushPiece, size - at);
        GstBuffer* piece = gst_buffer_new_memdup(data + at, length);
        GST_BUFFER_OFFSET(piece) = at;
        gst_app_src_push_buffer(GST_APP_SRC(source), piece);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(source));

    gint64 duration = 0;
    if (awaitEnd(pipeline.get()) == GST_MESSAGE_EOS &&
        gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration) && duration > 0 &&
        gst_element_seek_simple(pipeline.get(), GST_FORMAT_TIME,
                                GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_NEAREST),
                                duration / 2))
        awaitEnd(pipeline.get());
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

void loadPlugin(const char* file) {
    g_autoptr(GError) error = nullptr;
    if (!ObjectRef<GstPlugin>(gst_plugin_load_file(file, &error))) {
        std::fprintf(stderr, "cannot load %s: %s\n", file, error ? error->message : "");
        std::abort();
    }
}

// A two-frame animation and a file that is none: one run of each sets up
// what GStreamer keeps for the process (types, thread pool, quarks) before
// leaks are looked for.
void warmUp() {
    using namespace velarium::testing;
    const ByteVector animation = animFile({
        form("ILBM", {bmhd({}), cmap({0x000000, 0xFFFFFF}), chunk("BODY", ByteVector(2, 0x55))}),
        form("ILBM", {anhd({}), chunk("DLTA", ByteVector(64, 0))}),
    });
    const __lsan::ScopedDisabler startUp;
    play(animation.data(), animation.size());
    play(animation.data(), 12);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("GST_REGISTRY", VELARIUM_FUZZ_GST_REGISTRY, 1);
    ::setenv("GST_REGISTRY_FORK", "no", 1);
    // No folder of plugins is searched: the two needed load by name below.
    ::setenv("GST_PLUGIN_SYSTEM_PATH_1_0", "", 1);
    ::unsetenv("GST_PLUGIN_PATH_1_0");
    ::unsetenv("GST_PLUGIN_PATH");
    {
        const __lsan::ScopedDisabler startUp;
        gst_init(nullptr, nullptr);
        loadPlugin(VELARIUM_FUZZ_GST_CORE_PLUGINS "/libgstcoreelements.so");
        loadPlugin(VELARIUM_FUZZ_GST_BASE_PLUGINS "/libgstapp.so");
        if (!GST_ELEMENT_REGISTER(velariumdemux, nullptr) || !GST_ELEMENT_REGISTER(velariumdec, nullptr)) std::abort();
        // The extensions load now, while libFuzzer still takes in the
        // coverage counters of modules as they load.
        velarium::Error error;
        if (!animFormatReaderExtension(&error) ||
            !videoDecoderExtension(velarium::makeFourCharCode("ILBM"), &error)) {
            std::fprintf(stderr, "the extensions did not load: %s\n", error.localizedDescription.c_str());
            std::abort();
        }
    }
    warmUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    play(data, size);
    return 0;
}
