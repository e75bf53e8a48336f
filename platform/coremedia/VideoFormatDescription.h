#pragma once

#include <cstdint>
#include <memory>

#include "platform/coremedia/CoreMediaStatus.h"
#include "platform/coremedia/Dictionary.h"
#include "platform/coremedia/FourCharCode.h"

namespace velarium {

// Extension key naming the format of a track's samples for people.
inline constexpr const char* kCMFormatDescriptionExtension_FormatName = "FormatName";

inline constexpr FourCharCode kCMMediaType_Video = makeFourCharCode("vide");

struct VideoDimensions {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

class VideoFormatDescription;
using VideoFormatDescriptionRef = std::shared_ptr<const VideoFormatDescription>;

// Describes the samples of a video track: their codec type (media subtype),
// picture dimensions and a dictionary of extensions. Immutable once made.
class VideoFormatDescription {
public:
    // Fails with kCMFormatDescriptionError_InvalidParameter for negative
    // dimensions or a null output.
    static OSStatus create(FourCharCode codecType, std::int32_t width, std::int32_t height, Dictionary extensions,
                           VideoFormatDescriptionRef* formatDescriptionOut);

    FourCharCode mediaType() const { return kCMMediaType_Video; }
    FourCharCode mediaSubType() const { return codecType_; }
    VideoDimensions dimensions() const { return dimensions_; }
    const Dictionary& extensions() const { return extensions_; }
    // The extension at `key`, or null.
    const DictionaryValue* extension(const std::string& key) const;

    // Same codec type, dimensions and extensions.
    bool equals(const VideoFormatDescription& other) const;

private:
    VideoFormatDescription(FourCharCode codecType, VideoDimensions dimensions, Dictionary extensions)
        : codecType_(codecType), dimensions_(dimensions), extensions_(std::move(extensions)) {}

    FourCharCode codecType_;
    VideoDimensions dimensions_;
    Dictionary extensions_;
};

}  // namespace velarium
