#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/coremedia/CoreMediaStatus.h"

namespace velarium {

class BlockBuffer;
using BlockBufferRef = std::shared_ptr<BlockBuffer>;

// A contiguous run of bytes owned by the buffer: the data of a sample.
// The memory is allocated on demand (or at creation with
// kCMBlockBufferAssureMemoryNowFlag) and is not cleared; whoever fills it
// writes every byte. One thread fills a buffer; once it is handed on, readers
// on any thread may copy from it.
//
// Large blocks are recycled: video samples come one after another at one
// size, and fresh multi-megabyte memory costs a page fault per page.
class BlockBuffer {
public:
    ~BlockBuffer();

    enum Flags : std::uint32_t {
        kCMBlockBufferAssureMemoryNowFlag = 1u << 0,
    };

    BlockBuffer(const BlockBuffer&) = delete;
    BlockBuffer& operator=(const BlockBuffer&) = delete;

    // A buffer over `blockLength` bytes of its own memory whose data are the
    // `dataLength` bytes at `offsetToData`. Fails for an empty block, for a
    // data range outside the block, or when memory cannot be had.
    static OSStatus createWithMemoryBlock(std::size_t blockLength, std::size_t offsetToData, std::size_t dataLength,
                                          std::uint32_t flags, BlockBufferRef* blockBufferOut);

    // Called with memory someone else provided when the buffer over it goes away.
    using ReleaseBlockCallback = std::function<void(std::uint8_t* memoryBlock)>;

    // A buffer over `blockLength` bytes of memory that someone else provides
    // (a media framework's buffer, say), whose data are the `dataLength`
    // bytes at `offsetToData`. Nothing is copied; the memory must stay valid
    // until `releaseBlock` (may be empty) is called with it when the buffer
    // goes away. Fails like the other form, and for null memory.
    static OSStatus createWithMemoryBlock(std::uint8_t* memoryBlock, std::size_t blockLength,
                                          ReleaseBlockCallback releaseBlock, std::size_t offsetToData,
                                          std::size_t dataLength, BlockBufferRef* blockBufferOut);

    // Allocates the memory if that has not happened yet.
    OSStatus assureBlockMemory();

    // A pointer to the data at `offset`, the contiguous length from there and
    // the total data length. Each output may be null. Fails when the memory
    // is not allocated or the offset is outside the data.
    OSStatus getDataPointer(std::size_t offset, std::size_t* lengthAtOffset, std::size_t* totalLength,
                            std::uint8_t** dataPointer) const;

    std::size_t dataLength() const { return dataLength_; }
    bool isEmpty() const { return dataLength_ == 0; }

    // Copies `length` data bytes from `offset` into `destination`.
    OSStatus copyDataBytes(std::size_t offset, std::size_t length, void* destination) const;
    // Copies `length` bytes from `source` into the data at `offset`.
    OSStatus replaceDataBytes(const void* source, std::size_t offset, std::size_t length);

private:
    BlockBuffer(std::size_t blockLength, std::size_t offsetToData, std::size_t dataLength)
        : blockLength_(blockLength), offsetToData_(offsetToData), dataLength_(dataLength) {}
    OSStatus checkRange(std::size_t offset, std::size_t length) const;

    // The block: memory of its own, or memory someone else provided.
    std::uint8_t* block() const { return memory_ ? memory_.get() : providedMemory_; }

    std::unique_ptr<std::uint8_t[]> memory_;  // of blockLength_ bytes once assured
    std::uint8_t* providedMemory_ = nullptr;
    ReleaseBlockCallback releaseProvidedMemory_;
    std::size_t blockLength_;
    std::size_t offsetToData_;
    std::size_t dataLength_;
};

}  // namespace velarium
