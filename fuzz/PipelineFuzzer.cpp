// libFuzzer target: the input, as an ANIM file, pushed without random access
// through appsrc ! velariumdemux ! velariumdec ! fakesink; a stream that plays
// to its end is sought back to its middle and played again. The pipeline must
// reach the end of the stream or an error in time, else the process aborts.
// The elements (from the static library) and both extensions are set up
// before fuzzing starts, so that libFuzzer sees the coverage of all three.
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <sanitizer/lsan_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "gstreamer/ExtensionHost.h"
#include "gstreamer/GstHandles.h"
#include "gstreamer/VelariumDec.h"
#include "gstreamer/VelariumDemux.h"
#include "support/IFFWriter.h"

namespace {

using namespace velarium::gst;

// Far beyond what any input of the fuzzer's size takes, even on a loaded machine.
constexpr GstClockTime kLongestRun = 20 * GST_SECOND;

[[noreturn]] void fail(const char* what, const char* detail = "") {
    std::fprintf(stderr, "pipeline_fuzzer: %s%s\n", what, detail);
    std::abort();
}

// The decoded bytes the pipeline may carry per input, so that an input
// claiming a large picture and many frames stays quick: past the budget the
// decoder hears "end of stream", as from a sink that has seen enough.
GstPadProbeReturn spend(GstPad*, GstPadProbeInfo* info, gpointer budget) {
    auto& left = *static_cast<std::uint64_t*>(budget);
    const std::uint64_t bytes = gst_buffer_get_size(GST_PAD_PROBE_INFO_BUFFER(info));
    if (bytes <= left) {
        left -= bytes;
        return GST_PAD_PROBE_OK;
    }
    const BufferRef dropped(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_EOS;
    return GST_PAD_PROBE_HANDLED;
}

// The end of the stream or an error; aborts when neither comes in time.
GstMessageType awaitEnd(GstElement* pipeline) {
    const MessageRef end(gst_bus_timed_pop_filtered(BusRef(gst_element_get_bus(pipeline)).get(), kLongestRun,
                                                    GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    if (!end) fail("the pipeline neither reached the end of the stream nor failed in time");
    return GST_MESSAGE_TYPE(end.get());
}

void play(const std::uint8_t* data, std::size_t size) {
    std::uint64_t budget = std::uint64_t(16) << 20;  // declared before the pipeline, which uses it
    const ElementRef pipeline(gst_parse_launch("appsrc name=source caps=video/x-anim format=bytes ! velariumdemux "
                                               "name=demuxer ! velariumdec name=decoder ! fakesink sync=false",
                                               nullptr));
    const auto named = [&](const char* name) { return ElementRef(gst_bin_get_by_name(GST_BIN(pipeline.get()), name)); };
    const ElementRef source = named("source"), demuxer = named("demuxer"), decoder = named("decoder");
    if (!source || !demuxer || !decoder) fail("the pipeline does not parse");
    // Runs after the link the parser makes when the demuxer's stream appears.
    g_signal_connect(demuxer.get(), "pad-added", G_CALLBACK(+[](GstElement*, GstPad* pad, gpointer) {
                         if (!gst_pad_is_linked(pad)) fail("the demuxer's stream does not link to the decoder");
                     }),
                     nullptr);
    gst_pad_add_probe(PadRef(gst_element_get_static_pad(decoder.get(), "src")).get(), GST_PAD_PROBE_TYPE_BUFFER, spend,
                      &budget, nullptr);
    g_object_set(source.get(), "size", gint64(size), nullptr);

    // The source starts on the way to PLAYING; then the stream goes in, in pieces.
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    for (std::size_t at = 0, piece = 16384; at < size; at += piece) {
        GstBuffer* buffer = gst_buffer_new_memdup(data + at, std::min(piece, size - at));
        GST_BUFFER_OFFSET(buffer) = at;
        gst_app_src_push_buffer(GST_APP_SRC(source.get()), buffer);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(source.get()));

    gint64 duration = 0;
    if (awaitEnd(pipeline.get()) == GST_MESSAGE_EOS &&
        gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration) && duration > 0 &&
        gst_element_seek_simple(pipeline.get(), GST_FORMAT_TIME,
                                GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_NEAREST),
                                duration / 2))
        awaitEnd(pipeline.get());
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("GST_REGISTRY", VELARIUM_FUZZ_GST_REGISTRY, 1);
    ::setenv("GST_REGISTRY_FORK", "no", 1);
    ::setenv("GST_PLUGIN_SYSTEM_PATH_1_0", "", 1);
    ::unsetenv("GST_PLUGIN_PATH_1_0");
    ::unsetenv("GST_PLUGIN_PATH");
    {
        const __lsan::ScopedDisabler startUp;
        gst_init(nullptr, nullptr);
        for (const char* plugin : {VELARIUM_FUZZ_GST_CORE_PLUGINS "/libgstcoreelements.so",
                                   VELARIUM_FUZZ_GST_BASE_PLUGINS "/libgstapp.so"})
            if (!ObjectRef<GstPlugin>(gst_plugin_load_file(plugin, nullptr))) fail("cannot load ", plugin);
        if (!GST_ELEMENT_REGISTER(velariumdemux, nullptr) || !GST_ELEMENT_REGISTER(velariumdec, nullptr))
            fail("the elements do not register");
        // While libFuzzer still takes in the coverage counters of modules as they load.
        velarium::Error error;
        if (!animFormatReaderExtension(&error) || !videoDecoderExtension(velarium::makeFourCharCode("ILBM"), &error))
            fail("the extensions did not load: ", error.localizedDescription.c_str());
        // A two-frame animation and a file that is none: one run of each sets
        // up what GStreamer keeps for the process (types, thread pool, quarks)
        // before leaks are looked for.
        using namespace velarium::testing;
        const ByteVector animation = animFile({
            form("ILBM", {bmhd({}), cmap({0x000000, 0xFFFFFF}), chunk("BODY", ByteVector(2, 0x55))}),
            form("ILBM", {anhd({}), chunk("DLTA", ByteVector(64, 0))}),
        });
        play(animation.data(), animation.size());
        play(animation.data(), 12);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    play(data, size);
    return 0;
}
