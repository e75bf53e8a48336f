#include "platform/coremedia/SampleBuffer.h"

#include <limits>
#include <new>

namespace velarium {
namespace {

// Entry arrays hold nothing, one entry shared by all samples, or one per sample.
bool entryCountFits(std::size_t entries, std::int64_t samples) {
    return entries == 0 || entries == 1 || static_cast<std::int64_t>(entries) == samples;
}

}  // namespace

OSStatus SampleBuffer::createReady(BlockBufferRef dataBuffer, VideoFormatDescriptionRef formatDescription,
                                   std::int64_t numSamples, std::size_t numSampleTimingEntries,
                                   const SampleTimingInfo* sampleTimingArray, std::size_t numSampleSizeEntries,
                                   const std::size_t* sampleSizeArray, SampleBufferRef* sampleBufferOut) {
    if (!sampleBufferOut) return kCMSampleBufferError_RequiredParameterMissing;
    if (numSamples < 0) return kCMSampleBufferError_InvalidEntryCount;
    if (!dataBuffer && numSamples > 0) return kCMSampleBufferError_RequiredParameterMissing;
    if (!entryCountFits(numSampleTimingEntries, numSamples) || !entryCountFits(numSampleSizeEntries, numSamples))
        return kCMSampleBufferError_InvalidEntryCount;
    if ((numSampleTimingEntries > 0 && !sampleTimingArray) || (numSampleSizeEntries > 0 && !sampleSizeArray))
        return kCMSampleBufferError_RequiredParameterMissing;

    SampleBufferRef buffer(new (std::nothrow) SampleBuffer());
    if (!buffer) return kCMBlockBufferBlockAllocationFailedErr;
    buffer->dataBuffer_ = std::move(dataBuffer);
    buffer->formatDescription_ = std::move(formatDescription);
    buffer->numSamples_ = numSamples;
    buffer->timing_.assign(sampleTimingArray, sampleTimingArray + numSampleTimingEntries);
    buffer->sizes_.assign(sampleSizeArray, sampleSizeArray + numSampleSizeEntries);
    *sampleBufferOut = std::move(buffer);
    return kNoErr;
}

MediaTime SampleBuffer::presentationTimeStamp() const {
    return timing_.empty() ? MediaTime::invalid() : timing_.front().presentationTimeStamp;
}

MediaTime SampleBuffer::decodeTimeStamp() const {
    return timing_.empty() ? MediaTime::invalid() : timing_.front().decodeTimeStamp;
}

MediaTime SampleBuffer::duration() const {
    if (timing_.empty()) return MediaTime::invalid();
    if (timing_.size() == 1) {
        // One entry stands for every sample.
        const MediaTime& each = timing_.front().duration;
        if (!each.isNumeric()) return each;
        const __int128 total = static_cast<__int128>(each.value) * numSamples_;
        if (total > std::numeric_limits<std::int64_t>::max()) return MediaTime::positiveInfinity();
        if (total < std::numeric_limits<std::int64_t>::min()) return MediaTime::negativeInfinity();
        return MediaTime::make(static_cast<std::int64_t>(total), each.timescale);
    }
    MediaTime total = MediaTime::zero();
    for (const auto& entry : timing_) total = total + entry.duration;
    return total;
}

std::size_t SampleBuffer::sampleSize(std::int64_t index) const {
    if (index < 0 || index >= numSamples_) return 0;
    if (sizes_.empty()) return numSamples_ == 1 && dataBuffer_ ? dataBuffer_->dataLength() : 0;
    return sizes_.size() == 1 ? sizes_.front() : sizes_[static_cast<std::size_t>(index)];
}

std::size_t SampleBuffer::totalSampleSize() const {
    if (sizes_.empty()) return dataBuffer_ ? dataBuffer_->dataLength() : 0;
    std::size_t total = 0;
    for (std::int64_t i = 0; i < numSamples_; ++i) total += sampleSize(i);
    return total;
}

}  // namespace velarium
