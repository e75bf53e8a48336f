#pragma once

// The pixel buffer manager the decoder element gives the video decoder
// extension: every pixel buffer is a GStreamer video frame, mapped for
// writing, with the frame's own row stride. The extension writes the picture
// straight into the buffer that goes downstream.

#include <gst/video/video.h>

#include <functional>
#include <memory>

#include "gstreamer/GstHandles.h"
#include "platform/mediaextension/MEVideoDecoderPixelBufferManager.h"

namespace velarium::gst {

class VideoFramePixelBuffers final : public MEVideoDecoderPixelBufferManager {
public:
    // Gives a new buffer for one frame of `info`, or null.
    using AllocateBuffer = std::function<BufferRef()>;

    VideoFramePixelBuffers(const GstVideoInfo& info, AllocateBuffer allocate);

    // Fails when the attributes the extension set do not describe the
    // negotiated frames (size, BGRA), or when no buffer can be had.
    PixelBufferRef createPixelBufferAndReturnError(Error* error) override;

    // The GStreamer buffer behind a pixel buffer made here and still alive,
    // null for any other pixel buffer.
    BufferRef bufferBehind(const PixelBuffer& picture);

private:
    struct Handouts;

    GstVideoInfo info_;
    AllocateBuffer allocate_;
    // Shared with the pixel buffers' release callbacks, which may outlive the manager.
    std::shared_ptr<Handouts> handouts_;
};

}  // namespace velarium::gst
