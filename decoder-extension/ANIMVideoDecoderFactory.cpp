#include "decoder-extension/ANIMVideoDecoderFactory.h"

#include "decoder-extension/ANIMVideoDecoder.h"
#include "platform/mediaextension/MediaExtensionError.h"

namespace velarium {
namespace {

constexpr FourCharCode kILBMCodecType = makeFourCharCode("ILBM");

}  // namespace

MEVideoDecoderRef ANIMVideoDecoderFactory::videoDecoderWithCodecType(
    FourCharCode codecType, const VideoFormatDescriptionRef& videoFormatDescription, const Dictionary&,
    const std::shared_ptr<MEVideoDecoderPixelBufferManager>& extensionDecoderPixelBufferManager, Error* error) {
    // Without a description or a manager there is nothing this decoder could
    // produce; that is refused like a foreign codec rather than failing later.
    if (codecType != kILBMCodecType || !videoFormatDescription || !extensionDecoderPixelBufferManager) {
        fail(error, Error(kMediaExtensionErrorDomain, kMEErrorUnsupportedFeature, ""));
        return nullptr;
    }
    const VideoDimensions dimensions = videoFormatDescription->dimensions();
    extensionDecoderPixelBufferManager->setPixelBufferAttributes({
        {kCVPixelBufferWidthKey, std::int32_t(dimensions.width)},
        {kCVPixelBufferHeightKey, std::int32_t(dimensions.height)},
        {kCVPixelBufferPixelFormatTypeKey, std::int64_t(kCVPixelFormatType_32BGRA)},
    });
    return std::make_shared<ANIMVideoDecoder>(videoFormatDescription, extensionDecoderPixelBufferManager);
}

}  // namespace velarium
