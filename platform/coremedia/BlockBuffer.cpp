#include "platform/coremedia/BlockBuffer.h"

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace velarium {
namespace {

// Released large blocks kept for the next buffer of the same size.
class LargeBlockCache {
public:
    static constexpr std::size_t kMinimumBlock = 256 * 1024;
    static constexpr std::size_t kMaximumKept = 64 * 1024 * 1024;
    static constexpr std::size_t kMaximumBlocks = 4;

    // Never destroyed, so that buffers released while the process exits
    // still find it.
    static LargeBlockCache& shared() {
        static LargeBlockCache* cache = new LargeBlockCache;
        return *cache;
    }

    std::unique_ptr<std::uint8_t[]> take(std::size_t size) {
        if (size < kMinimumBlock) return nullptr;
        std::lock_guard<std::mutex> guard(mutex_);
        for (auto it = blocks_.begin(); it != blocks_.end(); ++it) {
            if (it->size != size) continue;
            auto memory = std::move(it->memory);
            kept_ -= size;
            blocks_.erase(it);
            return memory;
        }
        return nullptr;
    }

    void give(std::unique_ptr<std::uint8_t[]> memory, std::size_t size) {
        if (!memory || size < kMinimumBlock || size > kMaximumKept) return;
        std::lock_guard<std::mutex> guard(mutex_);
        // Oldest first out, until the newcomer fits.
        while (!blocks_.empty() && (blocks_.size() >= kMaximumBlocks || kept_ + size > kMaximumKept)) {
            kept_ -= blocks_.front().size;
            blocks_.erase(blocks_.begin());
        }
        kept_ += size;
        blocks_.push_back({size, std::move(memory)});
    }

private:
    struct Block {
        std::size_t size;
        std::unique_ptr<std::uint8_t[]> memory;
    };
    std::mutex mutex_;
    std::vector<Block> blocks_;
    std::size_t kept_ = 0;
};

}  // namespace

namespace {

OSStatus checkBlockLayout(std::size_t blockLength, std::size_t offsetToData, std::size_t dataLength) {
    if (blockLength == 0 || dataLength == 0) return kCMBlockBufferBadLengthParameterErr;
    if (offsetToData >= blockLength) return kCMBlockBufferBadOffsetParameterErr;
    if (dataLength > blockLength - offsetToData) return kCMBlockBufferBadLengthParameterErr;
    return kNoErr;
}

}  // namespace

BlockBuffer::~BlockBuffer() {
    if (providedMemory_) {
        if (releaseProvidedMemory_) releaseProvidedMemory_(providedMemory_);
        return;
    }
    LargeBlockCache::shared().give(std::move(memory_), blockLength_);
}

OSStatus BlockBuffer::createWithMemoryBlock(std::size_t blockLength, std::size_t offsetToData,
                                            std::size_t dataLength, std::uint32_t flags,
                                            BlockBufferRef* blockBufferOut) {
    if (!blockBufferOut) return kCMBlockBufferBadPointerParameterErr;
    if (const OSStatus status = checkBlockLayout(blockLength, offsetToData, dataLength); status != kNoErr)
        return status;

    BlockBufferRef buffer(new (std::nothrow) BlockBuffer(blockLength, offsetToData, dataLength));
    if (!buffer) return kCMBlockBufferBlockAllocationFailedErr;
    if (flags & kCMBlockBufferAssureMemoryNowFlag) {
        const OSStatus status = buffer->assureBlockMemory();
        if (status != kNoErr) return status;
    }
    *blockBufferOut = std::move(buffer);
    return kNoErr;
}

OSStatus BlockBuffer::createWithMemoryBlock(std::uint8_t* memoryBlock, std::size_t blockLength,
                                            ReleaseBlockCallback releaseBlock, std::size_t offsetToData,
                                            std::size_t dataLength, BlockBufferRef* blockBufferOut) {
    if (!blockBufferOut || !memoryBlock) return kCMBlockBufferBadPointerParameterErr;
    if (const OSStatus status = checkBlockLayout(blockLength, offsetToData, dataLength); status != kNoErr)
        return status;
    BlockBufferRef buffer(new (std::nothrow) BlockBuffer(blockLength, offsetToData, dataLength));
    if (!buffer) return kCMBlockBufferBlockAllocationFailedErr;
    buffer->providedMemory_ = memoryBlock;
    buffer->releaseProvidedMemory_ = std::move(releaseBlock);
    *blockBufferOut = std::move(buffer);
    return kNoErr;
}

OSStatus BlockBuffer::assureBlockMemory() {
    if (providedMemory_) return kNoErr;
    if (!memory_) memory_ = LargeBlockCache::shared().take(blockLength_);
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
    if (!block()) return kCMBlockBufferBadPointerParameterErr;
    if (offset >= dataLength_) return kCMBlockBufferBadOffsetParameterErr;
    if (lengthAtOffset) *lengthAtOffset = dataLength_ - offset;
    if (totalLength) *totalLength = dataLength_;
    if (dataPointer) *dataPointer = block() + offsetToData_ + offset;
    return kNoErr;
}

OSStatus BlockBuffer::checkRange(std::size_t offset, std::size_t length) const {
    if (!block()) return kCMBlockBufferBadPointerParameterErr;
    if (offset > dataLength_) return kCMBlockBufferBadOffsetParameterErr;
    if (length > dataLength_ - offset) return kCMBlockBufferBadLengthParameterErr;
    return kNoErr;
}

OSStatus BlockBuffer::copyDataBytes(std::size_t offset, std::size_t length, void* destination) const {
    if (!destination) return kCMBlockBufferBadPointerParameterErr;
    const OSStatus status = checkRange(offset, length);
    if (status != kNoErr) return status;
    std::memcpy(destination, block() + offsetToData_ + offset, length);
    return kNoErr;
}

OSStatus BlockBuffer::replaceDataBytes(const void* source, std::size_t offset, std::size_t length) {
    if (!source) return kCMBlockBufferBadPointerParameterErr;
    const OSStatus status = checkRange(offset, length);
    if (status != kNoErr) return status;
    std::memcpy(block() + offsetToData_ + offset, source, length);
    return kNoErr;
}

}  // namespace velarium
