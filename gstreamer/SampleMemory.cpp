#include "gstreamer/SampleMemory.h"

#include <memory>

namespace velarium::gst {
namespace {

// A read mapping of a buffer that outlives the call that made it.
class ReadMapping {
public:
    ReadMapping(const ReadMapping&) = delete;
    ReadMapping& operator=(const ReadMapping&) = delete;
    ~ReadMapping() { gst_buffer_unmap(buffer_.get(), &map_); }

    static std::shared_ptr<ReadMapping> make(GstBuffer* buffer) {
        GstMapInfo map{};
        if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return nullptr;
        return std::shared_ptr<ReadMapping>(new ReadMapping(BufferRef::borrow(buffer), map));
    }

    std::uint8_t* data() const { return const_cast<std::uint8_t*>(map_.data); }
    std::size_t size() const { return map_.size; }

private:
    ReadMapping(BufferRef buffer, const GstMapInfo& map) : buffer_(std::move(buffer)), map_(map) {}

    BufferRef buffer_;
    GstMapInfo map_;
};

}  // namespace

BufferRef bufferWrappingSample(const SampleBufferRef& sample) {
    const BlockBufferRef block = sample ? sample->dataBuffer() : nullptr;
    std::uint8_t* data = nullptr;
    std::size_t length = 0;
    if (!block || block->getDataPointer(0, &length, nullptr, &data) != kNoErr || !data || length == 0) return {};
    auto* keeper = new SampleBufferRef(sample);
    return BufferRef(gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, data, length, 0, length, keeper,
                                                 [](gpointer kept) { delete static_cast<SampleBufferRef*>(kept); }));
}

BlockBufferRef blockWrappingBuffer(GstBuffer* buffer, Error* error) {
    auto mapping = ReadMapping::make(buffer);
    if (!mapping) {
        fail(error, Error(kOSStatusErrorDomain, kCMBlockBufferBadPointerParameterErr, "Cannot read the sample"));
        return nullptr;
    }
    // The block only reads the memory (the decoder copies out of it); the
    // mapping goes when the block lets go of its release callback.
    BlockBufferRef block;
    const OSStatus status = BlockBuffer::createWithMemoryBlock(
        mapping->data(), mapping->size(), [mapping](std::uint8_t*) {}, 0, mapping->size(), &block);
    if (status != kNoErr) {
        fail(error, Error(kOSStatusErrorDomain, status,
                          mapping->size() == 0 ? "The sample is empty" : "Cannot read the sample"));
        return nullptr;
    }
    return block;
}

}  // namespace velarium::gst
