#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/coremedia/BlockBuffer.h"
#include "platform/coremedia/CoreMediaStatus.h"
#include "platform/coremedia/MediaTime.h"
#include "platform/coremedia/VideoFormatDescription.h"

namespace velarium {

struct SampleTimingInfo {
    MediaTime duration;
    MediaTime presentationTimeStamp;
    MediaTime decodeTimeStamp;
};

class SampleBuffer;
using SampleBufferRef = std::shared_ptr<SampleBuffer>;

// One or more media samples with their data, format and timing. Immutable
// once made, so it may be read on any thread.
class SampleBuffer {
public:
    // A buffer whose data is already in place. Timing entries: none, one
    // shared by every sample, or one per sample; size entries likewise (none
    // means the samples fill the data buffer). A data buffer is required
    // unless there are no samples.
    static OSStatus createReady(BlockBufferRef dataBuffer, VideoFormatDescriptionRef formatDescription,
                                std::int64_t numSamples, std::size_t numSampleTimingEntries,
                                const SampleTimingInfo* sampleTimingArray, std::size_t numSampleSizeEntries,
                                const std::size_t* sampleSizeArray, SampleBufferRef* sampleBufferOut);

    const BlockBufferRef& dataBuffer() const { return dataBuffer_; }
    const VideoFormatDescriptionRef& formatDescription() const { return formatDescription_; }
    std::int64_t numSamples() const { return numSamples_; }
    bool isDataReady() const { return true; }

    const std::vector<SampleTimingInfo>& sampleTimingInfoArray() const { return timing_; }
    const std::vector<std::size_t>& sampleSizeArray() const { return sizes_; }
    // Timing of the first sample; invalid times when there is no timing.
    MediaTime presentationTimeStamp() const;
    MediaTime decodeTimeStamp() const;
    // Sum of the sample durations; invalid when there is no timing.
    MediaTime duration() const;
    // Size of one sample; the whole data when no sizes were given for one sample.
    std::size_t sampleSize(std::int64_t index) const;
    std::size_t totalSampleSize() const;

private:
    SampleBuffer() = default;

    BlockBufferRef dataBuffer_;
    VideoFormatDescriptionRef formatDescription_;
    std::int64_t numSamples_ = 0;
    std::vector<SampleTimingInfo> timing_;
    std::vector<std::size_t> sizes_;
};

}  // namespace velarium
