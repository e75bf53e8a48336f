#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/coremedia/CoreMediaStatus.h"
#include "platform/coremedia/FourCharCode.h"

namespace velarium {

// Pixel buffer attribute keys.
inline constexpr const char* kCVPixelBufferWidthKey = "Width";
inline constexpr const char* kCVPixelBufferHeightKey = "Height";
inline constexpr const char* kCVPixelBufferPixelFormatTypeKey = "PixelFormatType";
inline constexpr const char* kCVPixelBufferBytesPerRowAlignmentKey = "BytesPerRowAlignment";

// 32-bit pixels, bytes in the order blue, green, red, alpha.
inline constexpr FourCharCode kCVPixelFormatType_32BGRA = makeFourCharCode("BGRA");

using CVPixelBufferLockFlags = std::uint64_t;
inline constexpr CVPixelBufferLockFlags kCVPixelBufferLock_ReadOnly = 1;

class PixelBuffer;
using PixelBufferRef = std::shared_ptr<PixelBuffer>;

// A picture in memory: `height` rows of `bytesPerRow` bytes, of which the
// first width × bytes-per-pixel hold pixels; rows may be padded beyond that.
// The base address is only handed out between lockBaseAddress and
// unlockBaseAddress, so every user of the memory says when it uses it.
class PixelBuffer {
public:
    // Called with the base address when the buffer goes away.
    using ReleaseBytesCallback = std::function<void(std::uint8_t* baseAddress)>;

    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;
    ~PixelBuffer();

    // A buffer with memory of its own; rows are rounded up to a multiple of
    // `bytesPerRowAlignment` bytes (0 or 1: no padding).
    static CVReturn create(std::size_t width, std::size_t height, FourCharCode pixelFormatType,
                           std::size_t bytesPerRowAlignment, PixelBufferRef* pixelBufferOut);
    // A buffer over memory that someone else provides; `releaseBytes` (may be
    // empty) is called with it when the buffer goes away.
    static CVReturn createWithBytes(std::size_t width, std::size_t height, FourCharCode pixelFormatType,
                                    std::uint8_t* baseAddress, std::size_t bytesPerRow,
                                    ReleaseBytesCallback releaseBytes, PixelBufferRef* pixelBufferOut);

    // Bytes per pixel of a supported format, 0 for any other.
    static std::size_t bytesPerPixel(FourCharCode pixelFormatType);

    std::size_t width() const { return width_; }
    std::size_t height() const { return height_; }
    std::size_t bytesPerRow() const { return bytesPerRow_; }
    FourCharCode pixelFormatType() const { return pixelFormatType_; }
    std::size_t dataSize() const { return bytesPerRow_ * height_; }

    // Locks nest; each lock is matched by an unlock with the same flags.
    CVReturn lockBaseAddress(CVPixelBufferLockFlags lockFlags);
    CVReturn unlockBaseAddress(CVPixelBufferLockFlags unlockFlags);
    bool isLocked() const { return lockCount_.load() > 0; }
    // The first byte of the first row while the buffer is locked; null otherwise.
    std::uint8_t* baseAddress() const { return isLocked() ? base_ : nullptr; }

private:
    PixelBuffer(std::size_t width, std::size_t height, FourCharCode format, std::uint8_t* base,
                std::size_t bytesPerRow, ReleaseBytesCallback release)
        : width_(width), height_(height), pixelFormatType_(format), bytesPerRow_(bytesPerRow), base_(base),
          releaseBytes_(std::move(release)) {}

    std::size_t width_;
    std::size_t height_;
    FourCharCode pixelFormatType_;
    std::size_t bytesPerRow_;
    std::uint8_t* base_;
    ReleaseBytesCallback releaseBytes_;
    std::atomic<int> lockCount_{0};
};

}  // namespace velarium
