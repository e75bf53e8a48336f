#include "reader-extension/ANIMSampleCursor.h"

#include <algorithm>
#include <limits>
#include <mutex>

#include "platform/coremedia/BlockBuffer.h"
#include "reader-extension/ANIMTrackReader.h"
#include "reader-extension/FarragoConstants.h"

namespace velarium {
namespace {

Error cursorError(ANIMSampleCursorErrorCode code, const char* text) {
    return Error(kANIMSampleCursorErrorDomain, code, text);
}

bool wasSet(const Error& error) { return !error.domain.empty(); }

}  // namespace

ANIMSampleCursor::ANIMSampleCursor(std::shared_ptr<ANIMParser> parser, std::uint64_t frameIndex,
                                   const MEByteSourceRef& byteSource, VideoFormatDescriptionRef formatDescription)
    : formatDescription_(std::move(formatDescription)),
      parser_(std::move(parser)),
      currentFrameIndex_(frameIndex),
      byteSource_(byteSource) {}

bool ANIMSampleCursor::hasCurrentFrame() const { return parser_ && currentFrameIndex_ < parser_->numFrames(); }

MediaTime ANIMSampleCursor::presentationTimeStamp() const {
    return hasCurrentFrame() ? parser_->frameAtIndex(currentFrameIndex_).presentationTime : MediaTime::invalid();
}

MediaTime ANIMSampleCursor::decodeTimeStamp() const { return presentationTimeStamp(); }

MediaTime ANIMSampleCursor::currentSampleDuration() const {
    return hasCurrentFrame() ? parser_->frameAtIndex(currentFrameIndex_).duration : MediaTime::invalid();
}

MESampleCursorSyncInfo ANIMSampleCursor::syncInfo() const {
    // Every sample is a complete picture, so every frame is a sync point.
    return MESampleCursorSyncInfo{hasCurrentFrame(), false, false};
}

void ANIMSampleCursor::stepByDecodeTime(MediaTime deltaDecodeTime, const StepByTimeHandler& completionHandler) {
    if (!deltaDecodeTime.isValid()) {
        const Error error = cursorError(kANIMSampleCursorErrorInvalidDeltaTime, "Invalid delta time");
        completionHandler(MediaTime::invalid(), false, &error);
        return;
    }
    const std::uint64_t count = parser_ ? parser_->numFrames() : 0;
    if (count == 0) {
        completionHandler(MediaTime::invalid(), true, nullptr);
        return;
    }
    const MediaTime target = presentationTimeStamp() + deltaDecodeTime;
    if (compare(target, MediaTime::zero()) < 0) {
        currentFrameIndex_ = 0;
        completionHandler(parser_->frameAtIndex(0).presentationTime, true, nullptr);
        return;
    }
    std::uint64_t index = 0;
    const bool inside = ANIMFrameContainingTime(*parser_, target, &index);
    currentFrameIndex_ = index;
    completionHandler(parser_->frameAtIndex(index).presentationTime, !inside, nullptr);
}

void ANIMSampleCursor::stepByPresentationTime(MediaTime deltaPresentationTime,
                                              const StepByTimeHandler& completionHandler) {
    // Samples are shown in the order they are decoded.
    stepByDecodeTime(deltaPresentationTime, completionHandler);
}

void ANIMSampleCursor::stepInDecodeOrderByCount(std::int64_t stepCount, const StepByCountHandler& completionHandler) {
    const std::uint64_t count = parser_ ? parser_->numFrames() : 0;
    if (count == 0) {
        completionHandler(0, nullptr);
        return;
    }
    // Wide arithmetic: neither a huge count nor an index set far outside the
    // table can overflow.
    using Wide = __int128;
    const Wide target = static_cast<Wide>(currentFrameIndex_) + stepCount;
    const Wide last = static_cast<Wide>(count - 1);
    const std::uint64_t newIndex = target < 0 ? 0 : static_cast<std::uint64_t>(std::min(target, last));
    Wide taken = static_cast<Wide>(newIndex) - static_cast<Wide>(currentFrameIndex_);
    taken = std::clamp<Wide>(taken, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max());
    currentFrameIndex_ = newIndex;
    completionHandler(static_cast<std::int64_t>(taken), nullptr);
}

void ANIMSampleCursor::stepInPresentationOrderByCount(std::int64_t stepCount,
                                                      const StepByCountHandler& completionHandler) {
    stepInDecodeOrderByCount(stepCount, completionHandler);
}

MESampleCursorRef ANIMSampleCursor::copy() const {
    return std::make_shared<ANIMSampleCursor>(parser_, currentFrameIndex_, byteSource_.lock(), formatDescription_);
}

SampleBufferRef ANIMSampleCursor::createSampleBufferReturningError(Error* error) const {
    if (!parser_) {
        fail(error, cursorError(kANIMSampleCursorErrorDecodeFailed, "Failed to decode frame"));
        return nullptr;
    }
    const std::uint64_t size = parser_->width() * parser_->height() * kANIMBytesPerPixel;

    // The frame is decoded straight into the block buffer's own memory.
    BlockBufferRef block;
    std::uint8_t* memory = nullptr;
    std::size_t lengthAtOffset = 0;
    OSStatus status = BlockBuffer::createWithMemoryBlock(size, 0, size, 0, &block);
    if (status == kNoErr) status = block->assureBlockMemory();
    if (status == kNoErr) status = block->getDataPointer(0, &lengthAtOffset, nullptr, &memory);
    if (status != kNoErr || !memory || lengthAtOffset < size) {
        fail(error, Error(kOSStatusErrorDomain, status, "Failed to create pixel block buffer"));
        return nullptr;
    }

    bool decoded;
    Error decodeFailure;
    {
        std::lock_guard<std::recursive_mutex> guard(parser_->lock());
        decoded = parser_->decodeFrameAtIndex(currentFrameIndex_, memory, size, &decodeFailure);
    }
    if (!decoded) {
        fail(error, wasSet(decodeFailure) ? decodeFailure
                                          : cursorError(kANIMSampleCursorErrorDecodeFailed, "Failed to decode frame"));
        return nullptr;
    }

    const SampleTimingInfo timing{currentSampleDuration(), presentationTimeStamp(), decodeTimeStamp()};
    SampleBufferRef sample;
    status = SampleBuffer::createReady(std::move(block), currentSampleFormatDescription(), 1, 1, &timing, 0, nullptr,
                                       &sample);
    if (status != kNoErr) {
        fail(error, Error(kOSStatusErrorDomain, status, "Failed to create sample buffer"));
        return nullptr;
    }
    return sample;
}

void ANIMSampleCursor::loadSampleBufferContainingSamplesToEndCursor(const MESampleCursor*,
                                                                    const SampleBufferHandler& completionHandler) {
    // Every buffer holds exactly this cursor's one sample; the end cursor is not needed.
    Error failure;
    SampleBufferRef sample = createSampleBufferReturningError(&failure);
    if (sample) {
        completionHandler(std::move(sample), nullptr);
        return;
    }
    if (!wasSet(failure))
        failure = cursorError(kANIMSampleCursorErrorSampleBufferFailed, "Failed to create sample buffer");
    completionHandler(nullptr, &failure);
}

}  // namespace velarium
