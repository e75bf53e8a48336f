#include "decoder-extension/ANIMVideoDecoder.h"

#include <algorithm>
#include <cstdio>

#include "platform/mediaextension/MediaExtensionError.h"

namespace velarium {
namespace {

constexpr std::size_t kBytesPerPixel = 4;
// A piece of a packed copy: small next to a core's private cache, large
// next to a call's own cost.
constexpr std::size_t kCopyPieceBytes = 256 * 1024;
constexpr MEDecodeFrameStatus kNoStatusFlags = 0;

std::string sampleTooSmallText(std::size_t length, std::size_t width, std::size_t height) {
    char text[128];
    std::snprintf(text, sizeof text, "Sample too small: %zu bytes for %zux%zu BGRA", length, width, height);
    return text;
}

// Holds a pixel buffer's base address locked for as long as it lives, so
// that every way out of the copy unlocks it.
class BaseAddressLock {
public:
    explicit BaseAddressLock(PixelBuffer& buffer) : buffer_(buffer) { buffer_.lockBaseAddress(0); }
    ~BaseAddressLock() { buffer_.unlockBaseAddress(0); }
    BaseAddressLock(const BaseAddressLock&) = delete;
    BaseAddressLock& operator=(const BaseAddressLock&) = delete;

private:
    PixelBuffer& buffer_;
};

}  // namespace

ANIMVideoDecoder::ANIMVideoDecoder(VideoFormatDescriptionRef formatDescription,
                                   std::shared_ptr<MEVideoDecoderPixelBufferManager> pixelBufferManager)
    : formatDescription_(std::move(formatDescription)), pixelBufferManager_(std::move(pixelBufferManager)) {}

void ANIMVideoDecoder::decodeFrameFromSampleBuffer(const SampleBufferRef& sampleBuffer, const MEDecodeFrameOptions&,
                                                   const DecodeHandler& completionHandler) {
    if (!sampleBuffer || !sampleBuffer->dataBuffer()) {
        const Error error(kMediaExtensionErrorDomain, kMEErrorInternalFailure, "Sample buffer has no data buffer");
        completionHandler(nullptr, kNoStatusFlags, &error);
        return;
    }
    PixelBufferRef pixelBuffer = decodeRawData(sampleBuffer->dataBuffer());
    if (!pixelBuffer) {
        const Error error(kMediaExtensionErrorDomain, kMEErrorInternalFailure, "");
        completionHandler(nullptr, kNoStatusFlags, &error);
        return;
    }
    completionHandler(std::move(pixelBuffer), kNoStatusFlags, nullptr);
}

std::vector<FourCharCode> ANIMVideoDecoder::supportedPixelFormatsOrderedByQuality() const {
    return {kCVPixelFormatType_32BGRA};
}

void ANIMVideoDecoder::flushWithCompletionHandler(const std::function<void(const Error*)>& completionHandler) {
    // Nothing is ever pending.
    completionHandler(nullptr);
}

PixelBufferRef ANIMVideoDecoder::decodeRawData(const BlockBufferRef& blockBuffer) const {
    if (!blockBuffer || !pixelBufferManager_) return nullptr;
    PixelBufferRef pixelBuffer = pixelBufferManager_->createPixelBufferAndReturnError(nullptr);
    if (!pixelBuffer) return nullptr;
    if (!copyBlockBuffer(*blockBuffer, *pixelBuffer, nullptr)) return nullptr;
    return pixelBuffer;
}

bool ANIMVideoDecoder::copyBlockBuffer(const BlockBuffer& blockBuffer, PixelBuffer& pixelBuffer, Error* error) const {
    BaseAddressLock lock(pixelBuffer);
    std::uint8_t* base = pixelBuffer.baseAddress();
    if (!base)
        return fail(error, Error(kANIMPixelBufferErrorDomain, kANIMPixelBufferErrorNoBaseAddress,
                                 "Failed to get base address"));

    const std::size_t stride = pixelBuffer.bytesPerRow();
    const std::size_t width = pixelBuffer.width();
    const std::size_t height = pixelBuffer.height();
    const std::size_t rowLength = width * kBytesPerPixel;
    // A buffer whose rows cannot hold width BGRA pixels would be overrun.
    if (stride < rowLength)
        return fail(error, Error(kANIMPixelBufferErrorDomain, kANIMPixelBufferErrorRowsTooShort,
                                 "Pixel buffer rows too short for BGRA"));

    const std::size_t length = blockBuffer.dataLength();
    if (length < rowLength * height)
        return fail(error, Error(kANIMBlockBufferErrorDomain, kANIMBlockBufferErrorSampleTooSmall,
                                 sampleTooSmallText(length, width, height)));

    // From the bottom up: a sample is written top down, so its last rows are
    // the ones still in the cache. Packed rows go in pieces of several rows;
    // padded ones one at a time, leaving the bytes past each row's pixels as
    // they were.
    const std::size_t rowsPerCopy =
        stride == rowLength && rowLength > 0 ? std::max<std::size_t>(1, kCopyPieceBytes / rowLength) : 1;
    OSStatus status = kNoErr;
    for (std::size_t end = height; end > 0 && status == kNoErr;) {
        const std::size_t first = end > rowsPerCopy ? end - rowsPerCopy : 0;
        status = blockBuffer.copyDataBytes(first * rowLength, (end - first) * rowLength, base + first * stride);
        end = first;
    }
    if (status != kNoErr) return fail(error, Error(kANIMBlockBufferErrorDomain, status, ""));
    return true;
}

}  // namespace velarium
