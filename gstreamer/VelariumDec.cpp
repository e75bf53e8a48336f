// velariumdec: turns the demuxer's samples into BGRA video frames by hosting
// the video decoder extension. The extension draws its pixel buffers from a
// manager backed by GStreamer's own video frames, so each picture is written
// once, straight into the buffer that goes downstream, at that buffer's
// stride.
#include "gstreamer/VelariumDec.h"

#include <gst/video/video.h>

#include <memory>

#include "gstreamer/ElementErrors.h"
#include "gstreamer/ExtensionHost.h"
#include "gstreamer/GstHandles.h"
#include "gstreamer/SampleCaps.h"
#include "gstreamer/SampleMemory.h"
#include "gstreamer/VideoFramePixelBuffers.h"
#include "platform/coremedia/SampleBuffer.h"
#include "platform/mediaextension/SampleWalker.h"

GST_DEBUG_CATEGORY_STATIC(velarium_dec_debug);
#define GST_CAT_DEFAULT velarium_dec_debug

static GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-velarium-ilbm, width = (int) [ 1, MAX ], height = (int) [ 1, MAX ]"));
static GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("BGRA")));

namespace velarium::gst {
namespace {

constexpr std::int32_t kNanosecondTimescale = 1'000'000'000;

MediaTime mediaTime(GstClockTime time) {
    return GST_CLOCK_TIME_IS_VALID(time) ? MediaTime::make(std::int64_t(time), kNanosecondTimescale)
                                         : MediaTime::invalid();
}

}  // namespace

// The decoder's state and behaviour; the GObject below only forwards to it.
class Decoder {
public:
    explicit Decoder(GstVideoDecoder* element) : element_(element) {}

    // Fails when the extension for the demuxer's samples cannot be loaded,
    // so that the element says so before any data flows.
    bool start() {
        Error error;
        if (videoDecoderExtension(makeFourCharCode("ILBM"), &error)) return true;
        postExtensionError(GST_ELEMENT(element_), GST_CORE_ERROR, GST_CORE_ERROR_MISSING_PLUGIN, error,
                           "The ANIM video decoder is not available");
        return false;
    }

    void stop() {
        decoder_.reset();
        pixelBuffers_.reset();
        description_.reset();
        output_ = CodecStateRef();
    }

    // A new format: a new extension decoder for it (the extension accepts no
    // change of format), and output frames of the same size in BGRA.
    bool setFormat(GstVideoCodecState* input) {
        stop();
        Error error;
        description_ = formatDescriptionFromCaps(input->caps, &error);
        if (!description_) {
            postExtensionError(GST_ELEMENT(element_), GST_STREAM_ERROR, GST_STREAM_ERROR_FORMAT, error,
                               "The stream does not say what its pictures are");
            return false;
        }
        const VideoDimensions size = description_->dimensions();
        output_ = CodecStateRef(gst_video_decoder_set_output_state(element_, GST_VIDEO_FORMAT_BGRA, guint(size.width),
                                                                   guint(size.height), input));
        if (!output_ || !gst_video_decoder_negotiate(element_)) {
            GST_ELEMENT_ERROR(element_, CORE, NEGOTIATION, ("Downstream does not take BGRA frames of %dx%d pixels",
                                                            size.width, size.height), (nullptr));
            return false;
        }
        auto allocate = [element = element_] { return BufferRef(gst_video_decoder_allocate_output_buffer(element)); };
        pixelBuffers_ = std::make_shared<VideoFramePixelBuffers>(output_->info, allocate);
        // The extension serving the stream's codec type, as the registry says.
        auto extension = videoDecoderExtension(description_->mediaSubType(), &error);
        decoder_ = extension ? extension->videoDecoderWithCodecType(description_->mediaSubType(), description_, {},
                                                                    pixelBuffers_, &error)
                             : nullptr;
        if (!decoder_) {
            postExtensionError(GST_ELEMENT(element_), GST_STREAM_ERROR, GST_STREAM_ERROR_CODEC_NOT_FOUND, error,
                               "The ANIM video decoder does not take this stream");
            return false;
        }
        GST_DEBUG_OBJECT(element_, "decoding %dx%d samples", size.width, size.height);
        return true;
    }

    GstFlowReturn handleFrame(GstVideoCodecFrame* frame) {
        if (!decoder_) {
            gst_video_decoder_release_frame(element_, frame);
            return GST_FLOW_NOT_NEGOTIATED;
        }
        Error error;
        SampleBufferRef sample = sampleOf(frame, &error);
        PixelBufferRef picture = sample ? decodeSample(*decoder_, sample, &error) : nullptr;
        // Our reference to the GStreamer buffer outlives the pixel buffer,
        // whose release unmaps the frame.
        BufferRef output = picture ? pixelBuffers_->bufferBehind(*picture) : BufferRef();
        picture.reset();
        if (!output) {
            gst_video_decoder_release_frame(element_, frame);
            postExtensionError(GST_ELEMENT(element_), GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, error,
                               "A frame of the animation could not be decoded");
            return GST_FLOW_ERROR;
        }
        gst_buffer_replace(&frame->output_buffer, nullptr);
        frame->output_buffer = output.release();
        return gst_video_decoder_finish_frame(element_, frame);
    }

    void flush() {
        if (decoder_) decoder_->flushWithCompletionHandler([](const Error*) {});
    }

private:
    // The input buffer as a sample of the track's format, its memory shared.
    SampleBufferRef sampleOf(GstVideoCodecFrame* frame, Error* error) const {
        BlockBufferRef block = blockWrappingBuffer(frame->input_buffer, error);
        if (!block) return nullptr;
        const SampleTimingInfo timing{mediaTime(frame->duration), mediaTime(frame->pts), mediaTime(frame->dts)};
        SampleBufferRef sample;
        const OSStatus status = SampleBuffer::createReady(block, description_, 1, 1, &timing, 0, nullptr, &sample);
        if (status != kNoErr) fail(error, Error(kOSStatusErrorDomain, status, "Failed to create sample buffer"));
        return sample;
    }

    GstVideoDecoder* element_;
    VideoFormatDescriptionRef description_;
    std::shared_ptr<VideoFramePixelBuffers> pixelBuffers_;
    MEVideoDecoderRef decoder_;
    CodecStateRef output_;
};

}  // namespace velarium::gst

using velarium::gst::Decoder;

struct _VelariumDec {
    GstVideoDecoder parent;
    Decoder* decoder;
};

G_DEFINE_TYPE(VelariumDec, velarium_dec, GST_TYPE_VIDEO_DECODER)
GST_ELEMENT_REGISTER_DEFINE(velariumdec, "velariumdec", GST_RANK_PRIMARY, VELARIUM_TYPE_DEC)

static Decoder* decoderOf(gpointer element) { return VELARIUM_DEC(element)->decoder; }

static gboolean velarium_dec_start(GstVideoDecoder* element) { return decoderOf(element)->start(); }

static gboolean velarium_dec_stop(GstVideoDecoder* element) {
    decoderOf(element)->stop();
    return TRUE;
}

static gboolean velarium_dec_set_format(GstVideoDecoder* element, GstVideoCodecState* state) {
    return decoderOf(element)->setFormat(state);
}

static GstFlowReturn velarium_dec_handle_frame(GstVideoDecoder* element, GstVideoCodecFrame* frame) {
    return decoderOf(element)->handleFrame(frame);
}

static gboolean velarium_dec_flush(GstVideoDecoder* element) {
    decoderOf(element)->flush();
    return TRUE;
}

static void velarium_dec_finalize(GObject* object) {
    delete decoderOf(object);
    G_OBJECT_CLASS(velarium_dec_parent_class)->finalize(object);
}

static void velarium_dec_class_init(VelariumDecClass* klass) {
    GST_DEBUG_CATEGORY_INIT(velarium_dec_debug, "velariumdec", 0, "Velarium ANIM video decoder");
    G_OBJECT_CLASS(klass)->finalize = velarium_dec_finalize;
    auto* elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(elementClass, "Amiga IFF ANIM video decoder", "Codec/Decoder/Video",
                                          "Decodes ANIM frames through the Velarium video decoder extension",
                                          "Velarium");
    auto* decoderClass = GST_VIDEO_DECODER_CLASS(klass);
    decoderClass->start = GST_DEBUG_FUNCPTR(velarium_dec_start);
    decoderClass->stop = GST_DEBUG_FUNCPTR(velarium_dec_stop);
    decoderClass->set_format = GST_DEBUG_FUNCPTR(velarium_dec_set_format);
    decoderClass->handle_frame = GST_DEBUG_FUNCPTR(velarium_dec_handle_frame);
    decoderClass->flush = GST_DEBUG_FUNCPTR(velarium_dec_flush);
}

static void velarium_dec_init(VelariumDec* self) {
    auto* element = GST_VIDEO_DECODER(self);
    // One buffer in is one whole picture: no parsing, no reordering.
    gst_video_decoder_set_packetized(element, TRUE);
    gst_video_decoder_set_needs_format(element, TRUE);
    gst_video_decoder_set_use_default_pad_acceptcaps(element, TRUE);
    self->decoder = new Decoder(element);
}
