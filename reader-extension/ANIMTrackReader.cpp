#include "reader-extension/ANIMTrackReader.h"

#include "reader-extension/ANIMSampleCursor.h"
#include "reader-extension/FarragoConstants.h"

namespace velarium {
namespace {

constexpr float kDefaultNominalFrameRate = 10.0f;

}  // namespace

bool ANIMFrameContainingTime(const ANIMParser& parser, const MediaTime& time, std::uint64_t* frameIndex) {
    const std::uint64_t count = parser.numFrames();
    for (std::uint64_t i = 0; i < count; ++i) {
        const ANIMFrameInfo& frame = parser.frameAtIndex(i);
        if (compare(frame.presentationTime + frame.duration, time) > 0) {
            *frameIndex = i;
            return true;
        }
    }
    *frameIndex = count == 0 ? 0 : count - 1;
    return false;
}

ANIMTrackReader::ANIMTrackReader(std::shared_ptr<ANIMParser> parser, std::uint64_t trackIndex,
                                 MEByteSourceRef byteSource)
    : parser_(std::move(parser)), trackIndex_(trackIndex), byteSource_(std::move(byteSource)) {
    createFormatDescription();
}

void ANIMTrackReader::createFormatDescription() {
    if (!parser_) {
        formatDescriptionStatus_ = kCMFormatDescriptionError_InvalidParameter;
        formatDescription_.reset();
        return;
    }
    formatDescriptionStatus_ = VideoFormatDescription::create(
        kANIMCodecType, static_cast<std::int32_t>(parser_->width()), static_cast<std::int32_t>(parser_->height()),
        {{kCMFormatDescriptionExtension_FormatName, std::string(kANIMFormatName)}}, &formatDescription_);
    if (formatDescriptionStatus_ != kNoErr) formatDescription_.reset();
}

void ANIMTrackReader::populateOptionalMetadataFieldsFor(METrackInfo& trackInfo) const {
    trackInfo.setEnabled(true);
    trackInfo.setRequiresFrameReordering(false);
    if (parser_)
        trackInfo.setNaturalSize({static_cast<double>(parser_->width()), static_cast<double>(parser_->height())});

    float rate = kDefaultNominalFrameRate;
    if (parser_ && parser_->numFrames() > 0) {
        const MediaTime& first = parser_->frameAtIndex(0).duration;
        if (first.isValid() && first.value >= 1)
            rate = static_cast<float>(static_cast<double>(first.timescale) / static_cast<double>(first.value));
    }
    trackInfo.setNominalFrameRate(rate);
}

void ANIMTrackReader::loadTrackInfoWithCompletionHandler(const TrackInfoHandler& completionHandler) {
    if (!formatDescription_) {
        const Error error(kOSStatusErrorDomain, formatDescriptionStatus_, "Failed to create video format description");
        completionHandler(nullptr, &error);
        return;
    }
    auto info = std::make_shared<METrackInfo>(kCMMediaType_Video, static_cast<std::int32_t>(trackIndex_ + 1),
                                              std::vector<VideoFormatDescriptionRef>{formatDescription_});
    populateOptionalMetadataFieldsFor(*info);
    completionHandler(std::move(info), nullptr);
}

void ANIMTrackReader::loadUneditedDurationWithCompletionHandler(const DurationHandler& completionHandler) {
    completionHandler(parser_ ? parser_->totalDuration() : MediaTime{}, nullptr);
}

MESampleCursorRef ANIMTrackReader::makeCursor(std::uint64_t frameIndex) const {
    return std::make_shared<ANIMSampleCursor>(parser_, frameIndex, byteSource_, formatDescription_);
}

void ANIMTrackReader::generateSampleCursorAtPresentationTimeStamp(MediaTime presentationTimeStamp,
                                                                  const CursorHandler& completionHandler) {
    std::uint64_t index = 0;
    if (parser_ && presentationTimeStamp.isValid() && parser_->numFrames() > 0)
        ANIMFrameContainingTime(*parser_, presentationTimeStamp, &index);
    completionHandler(makeCursor(index), nullptr);
}

void ANIMTrackReader::generateSampleCursorAtFirstSampleInDecodeOrderWithCompletionHandler(
    const CursorHandler& completionHandler) {
    completionHandler(makeCursor(0), nullptr);
}

void ANIMTrackReader::generateSampleCursorAtLastSampleInDecodeOrderWithCompletionHandler(
    const CursorHandler& completionHandler) {
    const std::uint64_t count = parser_ ? parser_->numFrames() : 0;
    completionHandler(makeCursor(count == 0 ? 0 : count - 1), nullptr);
}

}  // namespace velarium
