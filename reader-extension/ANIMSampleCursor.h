#pragma once

#include <cstdint>
#include <memory>

#include "core/ANIMParser.h"
#include "platform/mediaextension/MEFormatReader.h"

namespace velarium {

// A position in the track: one frame, named by its index in the parser's
// frame table. Each sample it makes is that frame decoded in full into a
// width × height × 4 byte BGRA block. Cursors of one file may work on
// different threads at once; they share the parser and take its lock around
// each frame decode.
class ANIMSampleCursor final : public MESampleCursor {
public:
    ANIMSampleCursor(std::shared_ptr<ANIMParser> parser, std::uint64_t frameIndex, const MEByteSourceRef& byteSource,
                     VideoFormatDescriptionRef formatDescription);

    MediaTime presentationTimeStamp() const override;
    MediaTime decodeTimeStamp() const override;
    MediaTime currentSampleDuration() const override;
    VideoFormatDescriptionRef currentSampleFormatDescription() const override { return formatDescription_; }
    MESampleCursorSyncInfo syncInfo() const override;

    void stepByDecodeTime(MediaTime deltaDecodeTime, const StepByTimeHandler& completionHandler) override;
    void stepByPresentationTime(MediaTime deltaPresentationTime, const StepByTimeHandler& completionHandler) override;
    void stepInDecodeOrderByCount(std::int64_t stepCount, const StepByCountHandler& completionHandler) override;
    void stepInPresentationOrderByCount(std::int64_t stepCount, const StepByCountHandler& completionHandler) override;

    MESampleCursorRef copy() const override;

    void loadSampleBufferContainingSamplesToEndCursor(const MESampleCursor* endSampleCursor,
                                                      const SampleBufferHandler& completionHandler) override;
    // A new sample buffer holding the current frame, or null with the error.
    SampleBufferRef createSampleBufferReturningError(Error* error) const;

    const std::shared_ptr<ANIMParser>& parser() const { return parser_; }
    void setParser(std::shared_ptr<ANIMParser> parser) { parser_ = std::move(parser); }
    std::uint64_t currentFrameIndex() const { return currentFrameIndex_; }
    void setCurrentFrameIndex(std::uint64_t index) { currentFrameIndex_ = index; }
    MEByteSourceRef byteSource() const { return byteSource_.lock(); }
    void setByteSource(const MEByteSourceRef& byteSource) { byteSource_ = byteSource; }

private:
    bool hasCurrentFrame() const;

    VideoFormatDescriptionRef formatDescription_;
    std::shared_ptr<ANIMParser> parser_;
    std::uint64_t currentFrameIndex_;
    std::weak_ptr<MEByteSource> byteSource_;  // only handed on to copies
};

}  // namespace velarium
