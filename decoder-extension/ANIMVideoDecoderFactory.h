#pragma once

#include "platform/mediaextension/MEVideoDecoder.h"

namespace velarium {

// Dapple's principal object: makes a decoder for tracks of codec type 'ILBM'.
class ANIMVideoDecoderFactory final : public MEVideoDecoderExtension {
public:
    // Refuses every other codec type (kMEErrorUnsupportedFeature, no
    // description). Tells the manager the buffers it needs: the format
    // description's width and height, pixel format 'BGRA'.
    MEVideoDecoderRef videoDecoderWithCodecType(
        FourCharCode codecType, const VideoFormatDescriptionRef& videoFormatDescription,
        const Dictionary& videoDecoderOptions,
        const std::shared_ptr<MEVideoDecoderPixelBufferManager>& extensionDecoderPixelBufferManager,
        Error* error) override;
};

}  // namespace velarium
