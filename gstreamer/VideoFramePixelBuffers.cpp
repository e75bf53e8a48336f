#include "gstreamer/VideoFramePixelBuffers.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/coremedia/CoreMediaStatus.h"

namespace velarium::gst {

// The pixel buffers handed out and still alive, with the GStreamer buffer
// behind each.
struct VideoFramePixelBuffers::Handouts {
    struct Entry {
        const PixelBuffer* picture;
        std::uint8_t* base;
        GstBuffer* buffer;
    };
    std::mutex mutex;
    std::vector<Entry> entries;

    void add(const PixelBuffer* picture, std::uint8_t* base, GstBuffer* buffer) {
        std::lock_guard<std::mutex> guard(mutex);
        entries.push_back({picture, base, buffer});
    }
    void remove(const std::uint8_t* base) {
        std::lock_guard<std::mutex> guard(mutex);
        std::erase_if(entries, [&](const Entry& e) { return e.base == base; });
    }
    GstBuffer* reference(const PixelBuffer* picture) {
        std::lock_guard<std::mutex> guard(mutex);
        const auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.picture == picture; });
        return it == entries.end() ? nullptr : gst_buffer_ref(it->buffer);
    }
};

namespace {

Error statusError(CVReturn status, const char* text) { return Error(kOSStatusErrorDomain, status, text); }

bool attributesDescribe(const Dictionary& attributes, const GstVideoInfo& info) {
    const auto width = dictionaryInteger(attributes, kCVPixelBufferWidthKey);
    const auto height = dictionaryInteger(attributes, kCVPixelBufferHeightKey);
    const auto format = dictionaryInteger(attributes, kCVPixelBufferPixelFormatTypeKey);
    return width && height && format && *width == GST_VIDEO_INFO_WIDTH(&info) &&
           *height == GST_VIDEO_INFO_HEIGHT(&info) && *format == std::int64_t(kCVPixelFormatType_32BGRA) &&
           GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_BGRA;
}

}  // namespace

VideoFramePixelBuffers::VideoFramePixelBuffers(const GstVideoInfo& info, AllocateBuffer allocate)
    : info_(info), allocate_(std::move(allocate)), handouts_(std::make_shared<Handouts>()) {}

PixelBufferRef VideoFramePixelBuffers::createPixelBufferAndReturnError(Error* error) {
    if (!attributesDescribe(pixelBufferAttributes(), info_)) {
        fail(error, statusError(kCVReturnInvalidPixelBufferAttributes,
                                "Pixel buffer attributes do not describe the negotiated video frames"));
        return nullptr;
    }
    GstBuffer* buffer = allocate_ ? allocate_() : nullptr;
    if (!buffer) {
        fail(error, statusError(kCVReturnAllocationFailed, "Failed to create pixel buffer"));
        return nullptr;
    }
    // Mapped through the frame's video meta when it has one, so the stride is
    // the buffer's own. The mapping needs no reference beyond ours.
    auto* frame = new GstVideoFrame();
    if (!gst_video_frame_map(frame, &info_, buffer, GstMapFlags(int(GST_MAP_WRITE) | int(GST_VIDEO_FRAME_MAP_FLAG_NO_REF)))) {
        delete frame;
        gst_buffer_unref(buffer);
        fail(error, statusError(kCVReturnError, "Failed to create pixel buffer"));
        return nullptr;
    }
    auto* base = static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0));
    const auto stride = static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0));
    auto unmap = [handouts = handouts_, frame](std::uint8_t* bytes) {
        handouts->remove(bytes);
        GstBuffer* owned = frame->buffer;
        gst_video_frame_unmap(frame);
        gst_buffer_unref(owned);
        delete frame;
    };
    PixelBufferRef picture;
    const CVReturn status = PixelBuffer::createWithBytes(GST_VIDEO_INFO_WIDTH(&info_), GST_VIDEO_INFO_HEIGHT(&info_),
                                                         kCVPixelFormatType_32BGRA, base, stride, unmap, &picture);
    if (status != kCVReturnSuccess) {
        unmap(base);
        fail(error, statusError(status, "Failed to create pixel buffer"));
        return nullptr;
    }
    handouts_->add(picture.get(), base, buffer);
    return picture;
}

GstBuffer* VideoFramePixelBuffers::bufferBehind(const PixelBuffer& picture) { return handouts_->reference(&picture); }

}  // namespace velarium::gst
