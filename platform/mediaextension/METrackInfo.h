#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/coremedia/FourCharCode.h"
#include "platform/coremedia/VideoFormatDescription.h"

namespace velarium {

struct MESize {
    double width = 0;
    double height = 0;
};

// What a track reader says about its track.
class METrackInfo {
public:
    METrackInfo(FourCharCode mediaType, std::int32_t trackID, std::vector<VideoFormatDescriptionRef> formatDescriptions)
        : mediaType_(mediaType), trackID_(trackID), formatDescriptions_(std::move(formatDescriptions)) {}

    FourCharCode mediaType() const { return mediaType_; }
    std::int32_t trackID() const { return trackID_; }
    const std::vector<VideoFormatDescriptionRef>& formatDescriptions() const { return formatDescriptions_; }

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool requiresFrameReordering() const { return requiresFrameReordering_; }
    void setRequiresFrameReordering(bool value) { requiresFrameReordering_ = value; }
    MESize naturalSize() const { return naturalSize_; }
    void setNaturalSize(MESize size) { naturalSize_ = size; }
    float nominalFrameRate() const { return nominalFrameRate_; }
    void setNominalFrameRate(float rate) { nominalFrameRate_ = rate; }

private:
    FourCharCode mediaType_;
    std::int32_t trackID_;
    std::vector<VideoFormatDescriptionRef> formatDescriptions_;
    bool enabled_ = false;
    bool requiresFrameReordering_ = false;
    MESize naturalSize_;
    float nominalFrameRate_ = 0;
};

using METrackInfoRef = std::shared_ptr<METrackInfo>;

}  // namespace velarium
