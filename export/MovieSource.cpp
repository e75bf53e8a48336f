// Opening an animation through the media platform and the two extensions,
// and reading its frames through the one sample walker.
#include "export/MovieSource.h"

#include <algorithm>
#include <cstring>

#include "export/ExportError.h"
#include "platform/mediaextension/Registration.h"

namespace velarium::exporter {

constexpr std::uint64_t kBytesPerPixel = 4;

std::shared_ptr<PlayerItem> openMovie(const std::string& path, const PlayerItemOptions& options, Error* error) {
    if (!registerFormatReaders(error) || !registerVideoDecoders(error)) return nullptr;
    auto item = PlayerItem::playerItemWithAsset(Asset::assetWithPath(path, AssetOptions{kANIMTypeIdentifier}), options);
    item->prepare();
    if (item->status() != PlayerItemStatus::readyToPlay) {
        fail(error, item->error().value_or(Error()));
        return nullptr;
    }
    return item;
}

MovieSource::MovieSource(std::shared_ptr<PlayerItem> item)
    : item_(std::move(item)), walker_(item_->videoTrackReader()) {
    const AssetTrack* track = item_->asset()->firstEnabledTrack(kCMMediaType_Video);
    if (track && !track->info->formatDescriptions().empty()) {
        const VideoDimensions dimensions = track->info->formatDescriptions().front()->dimensions();
        width_ = static_cast<std::uint64_t>(std::max(dimensions.width, 0));
        height_ = static_cast<std::uint64_t>(std::max(dimensions.height, 0));
    }
}

std::unique_ptr<MovieSource> MovieSource::open(const std::string& path, Error* error) {
    // Rows exactly width × 4 bytes long, so that a frame is read as one run.
    PlayerItemOptions options;
    options.pixelBuffers.bytesPerRowAlignment = 1;
    auto item = openMovie(path, options, error);
    if (!item) return nullptr;
    std::unique_ptr<MovieSource> source(new MovieSource(std::move(item)));
    if (source->width_ == 0 || source->height_ == 0) {
        fail(error, exportError(kExportErrorEncoder, "The animation has no picture size"));
        return nullptr;
    }
    if (!source->walker_.listSampleTimes(&source->times_, error)) return nullptr;
    return source;
}

// Decodes frame `index` and hands its locked pixels (rows bytesPerRow apart)
// to `use`.
template <typename Use>
bool MovieSource::readFrame(std::uint64_t index, Error* error, Use&& use) {
    PixelBufferRef decoded = decodeSampleAt(walker_, *item_->videoDecoder(), index, width_, height_, error);
    if (!decoded) return false;
    decoded->lockBaseAddress(kCVPixelBufferLock_ReadOnly);
    const std::uint8_t* base = decoded->baseAddress();
    if (base) use(base, decoded->bytesPerRow());
    decoded->unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
    if (!base) return fail(error, exportError(kExportErrorEncoder, "The decoded picture has no pixels"));
    return true;
}

bool MovieSource::decodeFrame(std::uint64_t index, std::vector<std::uint8_t>& bgra, Error* error) {
    return readFrame(index, error, [&](const std::uint8_t* base, std::uint64_t bytesPerRow) {
        const std::uint64_t rowBytes = width_ * kBytesPerPixel;
        bgra.resize(rowBytes * height_);
        for (std::uint64_t y = 0; y < height_; ++y)
            std::memcpy(bgra.data() + y * rowBytes, base + y * bytesPerRow, rowBytes);
    });
}

bool MovieSource::decodePicture(std::uint64_t index, ScaleFactors factors, Picture& picture, Error* error) {
    return readFrame(index, error, [&](const std::uint8_t* base, std::uint64_t bytesPerRow) {
        scaleToRGBA(base, bytesPerRow, width_, height_, factors, picture);
    });
}

}  // namespace velarium::exporter
