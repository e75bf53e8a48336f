#include "platform/coremedia/PixelBuffer.h"

#include <new>

namespace velarium {
namespace {

// Rows longer than this are refused rather than risk arithmetic overflow.
constexpr std::size_t kMaxDimension = 1u << 16;

bool multiplyFits(std::size_t a, std::size_t b, std::size_t* out) { return !__builtin_mul_overflow(a, b, out); }

}  // namespace

PixelBuffer::~PixelBuffer() {
    if (releaseBytes_) releaseBytes_(base_);
}

std::size_t PixelBuffer::bytesPerPixel(FourCharCode pixelFormatType) {
    return pixelFormatType == kCVPixelFormatType_32BGRA ? 4 : 0;
}

CVReturn PixelBuffer::create(std::size_t width, std::size_t height, FourCharCode pixelFormatType,
                             std::size_t bytesPerRowAlignment, PixelBufferRef* pixelBufferOut) {
    if (!pixelBufferOut) return kCVReturnInvalidArgument;
    const std::size_t pixelBytes = bytesPerPixel(pixelFormatType);
    if (pixelBytes == 0) return kCVReturnInvalidPixelFormat;
    if (width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension) return kCVReturnInvalidSize;
    if (bytesPerRowAlignment > kMaxDimension) return kCVReturnInvalidArgument;

    std::size_t bytesPerRow = width * pixelBytes;
    if (bytesPerRowAlignment > 1)
        bytesPerRow = (bytesPerRow + bytesPerRowAlignment - 1) / bytesPerRowAlignment * bytesPerRowAlignment;
    std::size_t size = 0;
    if (!multiplyFits(bytesPerRow, height, &size)) return kCVReturnInvalidSize;

    std::uint8_t* memory = new (std::nothrow) std::uint8_t[size]();
    if (!memory) return kCVReturnAllocationFailed;
    PixelBufferRef buffer(new (std::nothrow) PixelBuffer(width, height, pixelFormatType, memory, bytesPerRow,
                                                         [](std::uint8_t* bytes) { delete[] bytes; }));
    if (!buffer) {
        delete[] memory;
        return kCVReturnAllocationFailed;
    }
    *pixelBufferOut = std::move(buffer);
    return kCVReturnSuccess;
}

CVReturn PixelBuffer::createWithBytes(std::size_t width, std::size_t height, FourCharCode pixelFormatType,
                                      std::uint8_t* baseAddress, std::size_t bytesPerRow,
                                      ReleaseBytesCallback releaseBytes, PixelBufferRef* pixelBufferOut) {
    if (!pixelBufferOut || !baseAddress) return kCVReturnInvalidArgument;
    const std::size_t pixelBytes = bytesPerPixel(pixelFormatType);
    if (pixelBytes == 0) return kCVReturnInvalidPixelFormat;
    if (width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension) return kCVReturnInvalidSize;
    std::size_t size = 0;
    if (bytesPerRow < width * pixelBytes || !multiplyFits(bytesPerRow, height, &size)) return kCVReturnInvalidSize;

    PixelBufferRef buffer(new (std::nothrow) PixelBuffer(width, height, pixelFormatType, baseAddress, bytesPerRow,
                                                         std::move(releaseBytes)));
    if (!buffer) return kCVReturnAllocationFailed;
    *pixelBufferOut = std::move(buffer);
    return kCVReturnSuccess;
}

CVReturn PixelBuffer::lockBaseAddress(CVPixelBufferLockFlags lockFlags) {
    if (lockFlags & ~kCVPixelBufferLock_ReadOnly) return kCVReturnInvalidArgument;
    lockCount_.fetch_add(1);
    return kCVReturnSuccess;
}

CVReturn PixelBuffer::unlockBaseAddress(CVPixelBufferLockFlags unlockFlags) {
    if (unlockFlags & ~kCVPixelBufferLock_ReadOnly) return kCVReturnInvalidArgument;
    int count = lockCount_.load();
    // An unlock without a matching lock is refused instead of going negative.
    while (count > 0 && !lockCount_.compare_exchange_weak(count, count - 1)) {
    }
    return count > 0 ? kCVReturnSuccess : kCVReturnError;
}

}  // namespace velarium
