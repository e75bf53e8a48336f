#include "platform/mediaextension/SampleWalker.h"

#include <optional>
#include <string>

#include "platform/mediaextension/ExtensionCall.h"
#include "platform/mediaextension/HostError.h"

namespace velarium {
namespace {

Error hostError(HostErrorCode code, std::string text) { return Error(kHostErrorDomain, code, std::move(text)); }

bool isWellTimed(const SampleTime& sample) {
    return sample.presentationTime.isNumeric() && sample.duration.isNumeric() && sample.duration >= MediaTime::zero();
}

MediaTime endOf(const SampleTime& sample) { return sample.presentationTime + sample.duration; }

}  // namespace

bool SampleWalker::makeCursor(Error* error) {
    if (cursor_) return true;
    if (!track_) return fail(error, orExtensionFailure(Error(), "The track has no reader"));
    ExtensionCall<MESampleCursorRef> first;
    track_->generateSampleCursorAtFirstSampleInDecodeOrderWithCompletionHandler(first.handler());
    if (!first.succeeded(error, "The track reader gave no cursor")) return false;
    cursor_ = first.value;
    index_ = 0;
    return true;
}

bool SampleWalker::step(std::int64_t count, std::int64_t* taken, Error* error) {
    ExtensionCall<std::int64_t> call;
    cursor_->stepInDecodeOrderByCount(count, call.handler());
    if (!call.succeeded(error, "The sample cursor did not step")) return false;
    // A cursor moves towards the count and never past it.
    if (count >= 0 ? (call.value < 0 || call.value > count) : (call.value > 0 || call.value < count))
        return fail(error, orExtensionFailure(Error(), "The sample cursor stepped the wrong way"));
    index_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(index_) + call.value);
    *taken = call.value;
    return true;
}

bool SampleWalker::listSampleTimes(std::vector<SampleTime>* times, Error* error) {
    times->clear();
    if (!makeCursor(error) || !moveToSample(0, error)) return false;
    for (;;) {
        const SampleTime sample{cursor_->presentationTimeStamp(), cursor_->currentSampleDuration()};
        if (times->empty() && !sample.presentationTime.isValid())
            return fail(error, hostError(kHostErrorNoSamples, "The video track has no samples"));
        if (!isWellTimed(sample) || (!times->empty() && sample.presentationTime < endOf(times->back())))
            return fail(error, hostError(kHostErrorBadSampleTime,
                                         "Sample " + std::to_string(times->size()) + " of the video track is mistimed"));
        if (times->size() == kMaxSamples)
            return fail(error, hostError(kHostErrorTooManySamples, "The video track has more than " +
                                                                       std::to_string(kMaxSamples) + " samples"));
        times->push_back(sample);
        std::int64_t taken = 0;
        if (!step(1, &taken, error)) return false;
        if (taken == 0) return true;
    }
}

bool SampleWalker::moveToSample(std::uint64_t index, Error* error) {
    if (!makeCursor(error)) return false;
    if (index == index_) return true;
    if (index > static_cast<std::uint64_t>(INT64_MAX))
        return fail(error, hostError(kHostErrorSampleOutOfRange, "The track has no sample " + std::to_string(index)));
    std::int64_t taken = 0;
    if (!step(static_cast<std::int64_t>(index) - static_cast<std::int64_t>(index_), &taken, error)) return false;
    if (index_ != index)
        return fail(error, hostError(kHostErrorSampleOutOfRange, "The track has no sample " + std::to_string(index)));
    return true;
}

SampleBufferRef SampleWalker::loadSample(std::uint64_t index, Error* error) {
    if (!moveToSample(index, error)) return nullptr;
    ExtensionCall<SampleBufferRef> sample;
    cursor_->loadSampleBufferContainingSamplesToEndCursor(nullptr, sample.handler());
    if (!sample.succeeded(error, "The sample cursor gave no sample")) return nullptr;
    return sample.value;
}

PixelBufferRef decodeSample(MEVideoDecoder& decoder, const SampleBufferRef& sample, Error* error) {
    bool answered = false;
    PixelBufferRef picture;
    std::optional<Error> failure;
    decoder.decodeFrameFromSampleBuffer(sample, {}, [&](PixelBufferRef buffer, MEDecodeFrameStatus, const Error* e) {
        answered = true;
        picture = std::move(buffer);
        if (e) failure = *e;
    });
    if (failure) return fail(error, *failure), nullptr;
    if (!answered || !picture) return fail(error, orExtensionFailure(Error(), "The video decoder gave no picture")), nullptr;
    return picture;
}

PixelBufferRef decodeSampleAt(SampleWalker& walker, MEVideoDecoder& decoder, std::uint64_t index,
                              std::uint64_t width, std::uint64_t height, Error* error) {
    const SampleBufferRef sample = walker.loadSample(index, error);
    if (!sample) return nullptr;
    PixelBufferRef picture = decodeSample(decoder, sample, error);
    if (!picture) return nullptr;
    constexpr std::uint64_t kBytesPerPixel = 4;
    if (picture->width() != width || picture->height() != height || picture->bytesPerRow() < width * kBytesPerPixel)
        return fail(error, Error(kHostErrorDomain, kHostErrorExtensionFailed, "The decoded picture has the wrong size")),
               nullptr;
    return picture;
}

}  // namespace velarium
