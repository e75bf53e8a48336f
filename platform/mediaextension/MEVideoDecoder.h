#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/coremedia/Dictionary.h"
#include "platform/coremedia/FourCharCode.h"
#include "platform/coremedia/PixelBuffer.h"
#include "platform/coremedia/SampleBuffer.h"
#include "platform/coremedia/VideoFormatDescription.h"
#include "platform/foundation/Error.h"
#include "platform/mediaextension/MEExtension.h"
#include "platform/mediaextension/MEVideoDecoderPixelBufferManager.h"

// The video decoder protocols: how the media framework has an extension turn
// samples into pixel buffers.

namespace velarium {

struct MEDecodeFrameOptions {
    bool doNotOutputFrame = false;
    bool realTimePlayback = false;
};

// Flags a decoder reports with each frame; none are used yet.
using MEDecodeFrameStatus = std::uint64_t;

class MEVideoDecoder {
public:
    virtual ~MEVideoDecoder();

    using DecodeHandler = std::function<void(PixelBufferRef imageBuffer, MEDecodeFrameStatus, const Error*)>;
    virtual void decodeFrameFromSampleBuffer(const SampleBufferRef& sampleBuffer, const MEDecodeFrameOptions& options,
                                             const DecodeHandler& completionHandler) = 0;
    virtual std::vector<FourCharCode> supportedPixelFormatsOrderedByQuality() const = 0;
    virtual bool isReadyForMoreMediaData() const = 0;
    virtual bool canAcceptFormatDescription(const VideoFormatDescriptionRef& formatDescription) const = 0;
    virtual void flushWithCompletionHandler(const std::function<void(const Error*)>& completionHandler) = 0;
};

using MEVideoDecoderRef = std::shared_ptr<MEVideoDecoder>;

// The principal object of a video decoder extension.
class MEVideoDecoderExtension : public MEExtension {
public:
    MEVideoDecoderExtension* videoDecoderExtension() override { return this; }

    // A decoder for samples of `codecType` described by `videoFormatDescription`,
    // drawing its output buffers from `pixelBufferManager`; null with the error.
    virtual MEVideoDecoderRef videoDecoderWithCodecType(
        FourCharCode codecType, const VideoFormatDescriptionRef& videoFormatDescription,
        const Dictionary& videoDecoderOptions,
        const std::shared_ptr<MEVideoDecoderPixelBufferManager>& extensionDecoderPixelBufferManager,
        Error* error) = 0;
};

}  // namespace velarium
