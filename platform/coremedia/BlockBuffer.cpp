#include "platform/coremedia/BlockBuffer.h"

#include <cstring>
#include <new>

namespace velarium {

OSStatus BlockBuffer::createWithMemoryBlock(std::size_t blockLength, std::size_t offsetToData,
                                            std::size_t dataLength, std::uint32_t flags,
                                            BlockBufferRef* blockBufferOut) {
    if (!blockBufferOut) return kCMBlockBufferBadPointerParameterErr;
    if (blockLength == 0 || dataLength == 0) return kCMBlockBufferBadLengthParameterErr;
    if (offsetToData >= blockLength) return kCMBlockBufferBadOffsetParameterErr;
    if (dataLength > blockLength - offsetToData) return kCMBlockBufferBadLengthParameterErr;

    BlockBufferRef buffer(new (std::nothrow) BlockBuffer(blockLength, offsetToData, dataLength));
    if (!buffer) return kCMBlockBufferBlockAllocationFailedErr;
    if (flags & kCMBlockBufferAssureMemoryNowFlag) {
        const OSStatus status = buffer->assureBlockMemory();
        if (status != kNoErr) return status;
    }
    *blockBufferOut = std::move(buffer);
    return kNoErr;
}

OSStatus BlockBuffer::assureBlockMemory() {
    if (!memory_) {
        // Left uninitialised on purpose: the filler writes every byte, and
        // clearing megabytes per video frame would cost a pass over memory.
        memory_.reset(new (std::nothrow) std::uint8_t[blockLength_]);
        if (!memory_) return kCMBlockBufferBlockAllocationFailedErr;
    }
    return kNoErr;
}

OSStatus BlockBuffer::getDataPointer(std::size_t offset, std::size_t* lengthAtOffset, std::size_t* totalLength,
                                     std::uint8_t** dataPointer) const {
    if (!memory_) return kCMBlockBufferBadPointerParameterErr;
    if (offset >= dataLength_) return kCMBlockBufferBadOffsetParameterErr;
    if (lengthAtOffset) *lengthAtOffset = dataLength_ - offset;
    if (totalLength) *totalLength = dataLength_;
    if (dataPointer) *dataPointer = memory_.get() + offsetToData_ + offset;
    return kNoErr;
}

OSStatus BlockBuffer::checkRange(std::size_t offset, std::size_t length) const {
    if (!memory_) return kCMBlockBufferBadPointerParameterErr;
    if (offset > dataLength_) return kCMBlockBufferBadOffsetParameterErr;
    if (length > dataLength_ - offset) return kCMBlockBufferBadLengthParameterErr;
    return kNoErr;
}

OSStatus BlockBuffer::copyDataBytes(std::size_t offset, std::size_t length, void* destination) const {
    if (!destination) return kCMBlockBufferBadPointerParameterErr;
    const OSStatus status = checkRange(offset, length);
    if (status != kNoErr) return status;
    std::memcpy(destination, memory_.get() + offsetToData_ + offset, length);
    return kNoErr;
}

OSStatus BlockBuffer::replaceDataBytes(const void* source, std::size_t offset, std::size_t length) {
    if (!source) return kCMBlockBufferBadPointerParameterErr;
    const OSStatus status = checkRange(offset, length);
    if (status != kNoErr) return status;
    std::memcpy(memory_.get() + offsetToData_ + offset, source, length);
    return kNoErr;
}

}  // namespace velarium
