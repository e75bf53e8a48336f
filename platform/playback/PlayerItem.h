#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/mediaextension/MEVideoDecoder.h"
#include "platform/mediaextension/MEVideoDecoderPixelBufferManager.h"
#include "platform/mediaextension/SampleWalker.h"
#include "platform/playback/ObserverList.h"
#include "platform/playback/Asset.h"

namespace velarium {

enum class PlayerItemStatus { unknown, readyToPlay, failed };

// The playable state of an asset: its video track, the decoder for the
// track's codec type with the pixel buffer manager that feeds it, and the
// track's sample times. Its status starts unknown and becomes ready or
// failed; a failure carries the error of the step that failed, unchanged.
// Status observers run on the thread where the change happens.
struct PlayerItemOptions {
    // How output pixel buffers lay out their rows; padded by default.
    MEVideoDecoderPixelBufferManager::Options pixelBuffers;
};

class PlayerItem {
public:
    static std::shared_ptr<PlayerItem> playerItemWithAsset(std::shared_ptr<Asset> asset,
                                                           PlayerItemOptions options = {});

    PlayerItemStatus status() const;
    std::optional<Error> error() const;

    using StatusObserver = ObserverList<PlayerItemStatus>::Observer;
    std::uint64_t addStatusObserver(StatusObserver observer);
    void removeStatusObserver(std::uint64_t token);

    // Loads the asset and readies its video track for playback, on the
    // calling thread. Does nothing once the status is known.
    void prepare();
    // A later step of playback failed: the item fails with that error.
    void failWithError(const Error& error);

    const std::shared_ptr<Asset>& asset() const { return asset_; }
    // Valid once ready.
    const METrackReaderRef& videoTrackReader() const { return trackReader_; }
    const MEVideoDecoderRef& videoDecoder() const { return decoder_; }
    const std::shared_ptr<MEVideoDecoderPixelBufferManager>& pixelBufferManager() const { return manager_; }
    const std::vector<SampleTime>& sampleTimes() const { return sampleTimes_; }
    MediaTime duration() const { return duration_; }
    // The sample shown at `time`: the first that ends after it; the last one
    // for times at or past the end.
    std::uint64_t sampleIndexAtTime(const MediaTime& time) const;

private:
    PlayerItem(std::shared_ptr<Asset> asset, PlayerItemOptions options) : asset_(std::move(asset)), options_(options) {}
    bool prepareVideoTrack(Error* error);
    void setStatus(PlayerItemStatus status, std::optional<Error> error);

    std::shared_ptr<Asset> asset_;
    PlayerItemOptions options_;

    mutable std::mutex mutex_;
    PlayerItemStatus status_ = PlayerItemStatus::unknown;
    std::optional<Error> error_;
    ObserverList<PlayerItemStatus> observers_;
    std::mutex prepareMutex_;

    METrackReaderRef trackReader_;
    MEVideoDecoderRef decoder_;
    std::shared_ptr<MEVideoDecoderPixelBufferManager> manager_;
    std::vector<SampleTime> sampleTimes_;
    MediaTime duration_ = MediaTime::zero();
};

}  // namespace velarium
