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
        GstBuffer* buffer;  // the pixel buffer's release callback holds the reference
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
    BufferRef reference(const PixelBuffer* picture) {
        std::lock_guard<std::mutex> guard(mutex);
        const auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.picture == picture; });
        return it == entries.end() ? BufferRef() : BufferRef::borrow(it->buffer);
    }
};

namespace {

// A buffer mapped for writing as one video frame, for as long as this lives.
struct FrameMapping {
    BufferRef buffer;
    GstVideoFrame frame{};
    bool mapped = false;
    ~FrameMapping() {
        if (mapped) gst_video_frame_unmap(&frame);
    }
};

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
    auto mapping = std::make_shared<FrameMapping>();
    mapping->buffer = allocate_ ? allocate_() : BufferRef();
    if (!mapping->buffer) {
        fail(error, statusError(kCVReturnAllocationFailed, "Failed to create pixel buffer"));
        return nullptr;
    }
    // Mapped through the frame's video meta when it has one, so the stride is
    // the buffer's own. The mapping needs no reference beyond the holder's.
    mapping->mapped = gst_video_frame_map(&mapping->frame, &info_, mapping->buffer.get(),
                                          GstMapFlags(int(GST_MAP_WRITE) | int(GST_VIDEO_FRAME_MAP_FLAG_NO_REF)));
    if (!mapping->mapped) {
        fail(error, statusError(kCVReturnError, "Failed to create pixel buffer"));
        return nullptr;
    }
    auto* base = static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapping->frame, 0));
    const auto stride = static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&mapping->frame, 0));
    // The frame stays mapped until the pixel buffer lets go of its callback.
    auto release = [handouts = handouts_, mapping](std::uint8_t* bytes) { handouts->remove(bytes); };
    PixelBufferRef picture;
    const CVReturn status = PixelBuffer::createWithBytes(GST_VIDEO_INFO_WIDTH(&info_), GST_VIDEO_INFO_HEIGHT(&info_),
                                                         kCVPixelFormatType_32BGRA, base, stride, release, &picture);
    if (status != kCVReturnSuccess) {
        fail(error, statusError(status, "Failed to create pixel buffer"));
        return nullptr;
    }
    handouts_->add(picture.get(), base, mapping->buffer.get());
    return picture;
}

BufferRef VideoFramePixelBuffers::bufferBehind(const PixelBuffer& picture) { return handouts_->reference(&picture); }

}  // namespace velarium::gst
