#pragma once

#include <memory>

#include "platform/mediaextension/MEVideoDecoder.h"

namespace velarium {

// Errors of the copy into a pixel buffer. They stay inside the decoder: the
// framework only learns that the decode failed.
inline constexpr const char* kANIMPixelBufferErrorDomain = "PixelBufferError";
inline constexpr const char* kANIMBlockBufferErrorDomain = "BlockBufferError";
enum ANIMVideoDecoderCopyErrorCode : long {
    kANIMPixelBufferErrorNoBaseAddress = -1,
    kANIMPixelBufferErrorRowsTooShort = -2,
    kANIMBlockBufferErrorSampleTooSmall = -2,
};

// Turns 'ILBM' samples, which already hold finished BGRA pictures, into
// pixel buffers: a copy, row by row when the buffer's rows are padded. Holds
// no per-frame state; every decode is independent and finishes before it
// returns.
class ANIMVideoDecoder final : public MEVideoDecoder {
public:
    ANIMVideoDecoder(VideoFormatDescriptionRef formatDescription,
                     std::shared_ptr<MEVideoDecoderPixelBufferManager> pixelBufferManager);

    void decodeFrameFromSampleBuffer(const SampleBufferRef& sampleBuffer, const MEDecodeFrameOptions& options,
                                     const DecodeHandler& completionHandler) override;
    std::vector<FourCharCode> supportedPixelFormatsOrderedByQuality() const override;
    bool isReadyForMoreMediaData() const override { return true; }
    // Never: a new format description needs a new decoder.
    bool canAcceptFormatDescription(const VideoFormatDescriptionRef&) const override { return false; }
    void flushWithCompletionHandler(const std::function<void(const Error*)>& completionHandler) override;

    // A new pixel buffer holding the sample's picture, or null.
    PixelBufferRef decodeRawData(const BlockBufferRef& blockBuffer) const;
    // Copies the block's bytes into the pixel buffer, whose own width, height
    // and row stride govern the copy.
    bool copyBlockBuffer(const BlockBuffer& blockBuffer, PixelBuffer& pixelBuffer, Error* error) const;

    const VideoFormatDescriptionRef& formatDescription() const { return formatDescription_; }
    const std::shared_ptr<MEVideoDecoderPixelBufferManager>& pixelBufferManager() const { return pixelBufferManager_; }

private:
    VideoFormatDescriptionRef formatDescription_;
    std::shared_ptr<MEVideoDecoderPixelBufferManager> pixelBufferManager_;
};

}  // namespace velarium
