#include "platform/coremedia/VideoFormatDescription.h"

namespace velarium {

OSStatus VideoFormatDescription::create(FourCharCode codecType, std::int32_t width, std::int32_t height,
                                        Dictionary extensions, VideoFormatDescriptionRef* formatDescriptionOut) {
    if (!formatDescriptionOut || width < 0 || height < 0) return kCMFormatDescriptionError_InvalidParameter;
    formatDescriptionOut->reset(
        new VideoFormatDescription(codecType, VideoDimensions{width, height}, std::move(extensions)));
    return kNoErr;
}

const DictionaryValue* VideoFormatDescription::extension(const std::string& key) const {
    auto it = extensions_.find(key);
    return it == extensions_.end() ? nullptr : &it->second;
}

bool VideoFormatDescription::equals(const VideoFormatDescription& other) const {
    return codecType_ == other.codecType_ && dimensions_.width == other.dimensions_.width &&
           dimensions_.height == other.dimensions_.height && extensions_ == other.extensions_;
}

}  // namespace velarium
