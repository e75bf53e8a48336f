#include "platform/playback/PlayerItem.h"

#include <algorithm>

#include "platform/mediaextension/ExtensionCall.h"
#include "platform/playback/PlaybackError.h"

namespace velarium {
namespace {

Error playbackError(PlaybackErrorCode code, std::string text) {
    return Error(kPlaybackErrorDomain, code, std::move(text));
}

}  // namespace

std::shared_ptr<PlayerItem> PlayerItem::playerItemWithAsset(std::shared_ptr<Asset> asset, PlayerItemOptions options) {
    return std::shared_ptr<PlayerItem>(new PlayerItem(std::move(asset), options));
}

PlayerItemStatus PlayerItem::status() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return status_;
}

std::optional<Error> PlayerItem::error() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return error_;
}

std::uint64_t PlayerItem::addStatusObserver(StatusObserver observer) { return observers_.add(std::move(observer)); }

void PlayerItem::removeStatusObserver(std::uint64_t token) { observers_.remove(token); }

void PlayerItem::setStatus(PlayerItemStatus status, std::optional<Error> error) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (status_ == PlayerItemStatus::failed) return;  // the first failure is the one reported
        status_ = status;
        error_ = std::move(error);
    }
    // Outside the lock, so that observers may ask the item anything.
    observers_.notify(status);
}

void PlayerItem::prepare() {
    std::lock_guard<std::mutex> preparing(prepareMutex_);
    if (status() != PlayerItemStatus::unknown) return;
    Error failure;
    if (!asset_ || !asset_->loadValues(&failure) || !prepareVideoTrack(&failure)) {
        if (!asset_) failure = playbackError(kPlaybackErrorNoFormatReader, "No asset");
        setStatus(PlayerItemStatus::failed, failure);
        return;
    }
    setStatus(PlayerItemStatus::readyToPlay, std::nullopt);
}

void PlayerItem::failWithError(const Error& error) { setStatus(PlayerItemStatus::failed, error); }

bool PlayerItem::prepareVideoTrack(Error* error) {
    const AssetTrack* track = asset_->firstEnabledTrack(kCMMediaType_Video);
    if (!track || track->info->formatDescriptions().empty() || !track->info->formatDescriptions().front())
        return fail(error, playbackError(kPlaybackErrorNoVideoTrack, "The file has no video track"));
    const VideoFormatDescriptionRef& description = track->info->formatDescriptions().front();
    const FourCharCode codecType = description->mediaSubType();

    auto factory = asset_->registry().videoDecoderForCodecType(codecType);
    if (!factory)
        return fail(error, playbackError(kPlaybackErrorNoVideoDecoder,
                                         "No video decoder for codec type '" + fourCharCodeString(codecType) + "'"));
    manager_ = std::make_shared<MEVideoDecoderPixelBufferManager>(options_.pixelBuffers);
    Error failure;
    decoder_ = factory->videoDecoderWithCodecType(codecType, description, {}, manager_, &failure);
    if (!decoder_) return fail(error, orExtensionFailure(failure, "The video decoder could not be created"));

    trackReader_ = track->reader;
    if (!SampleWalker(trackReader_).listSampleTimes(&sampleTimes_, error)) return false;
    duration_ = sampleTimes_.back().presentationTime + sampleTimes_.back().duration;
    return true;
}

std::uint64_t PlayerItem::sampleIndexAtTime(const MediaTime& time) const {
    if (sampleTimes_.empty() || !time.isValid()) return 0;
    auto ends = std::partition_point(sampleTimes_.begin(), sampleTimes_.end(), [&](const SampleTime& sample) {
        return compare(sample.presentationTime + sample.duration, time) <= 0;
    });
    if (ends == sampleTimes_.end()) return sampleTimes_.size() - 1;
    return static_cast<std::uint64_t>(ends - sampleTimes_.begin());
}

}  // namespace velarium
