#pragma once

#include <cstdint>
#include <memory>

#include "core/ANIMParser.h"
#include "platform/coremedia/CoreMediaStatus.h"
#include "platform/mediaextension/MEFormatReader.h"

namespace velarium {

// The animation's one video track: declares its samples as codec type 'ILBM'
// at the picture's size, and makes the cursors that walk its frames.
class ANIMTrackReader final : public METrackReader {
public:
    // Never fails: a format description that cannot be made is remembered
    // and reported by loadTrackInfoWithCompletionHandler.
    ANIMTrackReader(std::shared_ptr<ANIMParser> parser, std::uint64_t trackIndex, MEByteSourceRef byteSource);

    void createFormatDescription();
    void populateOptionalMetadataFieldsFor(METrackInfo& trackInfo) const;

    void loadTrackInfoWithCompletionHandler(const TrackInfoHandler& completionHandler) override;
    void loadUneditedDurationWithCompletionHandler(const DurationHandler& completionHandler) override;
    void generateSampleCursorAtPresentationTimeStamp(MediaTime presentationTimeStamp,
                                                     const CursorHandler& completionHandler) override;
    void generateSampleCursorAtFirstSampleInDecodeOrderWithCompletionHandler(
        const CursorHandler& completionHandler) override;
    void generateSampleCursorAtLastSampleInDecodeOrderWithCompletionHandler(
        const CursorHandler& completionHandler) override;

    OSStatus formatDescriptionStatus() const { return formatDescriptionStatus_; }
    void setFormatDescriptionStatus(OSStatus status) { formatDescriptionStatus_ = status; }
    const std::shared_ptr<ANIMParser>& parser() const { return parser_; }
    void setParser(std::shared_ptr<ANIMParser> parser) { parser_ = std::move(parser); }
    std::uint64_t trackIndex() const { return trackIndex_; }
    void setTrackIndex(std::uint64_t trackIndex) { trackIndex_ = trackIndex; }
    const VideoFormatDescriptionRef& formatDescription() const { return formatDescription_; }
    void setFormatDescription(VideoFormatDescriptionRef description) { formatDescription_ = std::move(description); }
    const MEByteSourceRef& byteSource() const { return byteSource_; }
    void setByteSource(MEByteSourceRef byteSource) { byteSource_ = std::move(byteSource); }

private:
    MESampleCursorRef makeCursor(std::uint64_t frameIndex) const;

    OSStatus formatDescriptionStatus_ = kNoErr;
    std::shared_ptr<ANIMParser> parser_;
    std::uint64_t trackIndex_;
    VideoFormatDescriptionRef formatDescription_;
    MEByteSourceRef byteSource_;
};

// The index of the frame shown at `time`: the first frame that ends after
// it, so a time on a boundary belongs to the later frame; the last frame for
// times at or past the end. Returns false when no frame ends after `time`.
bool ANIMFrameContainingTime(const ANIMParser& parser, const MediaTime& time, std::uint64_t* frameIndex);

}  // namespace velarium
