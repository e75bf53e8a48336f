// An animation opened through the extensions the plugin is installed with,
// its thumbnail frame chosen as GNOME's thumbnailer chooses it, and its
// frames decoded to packed BGRA.
#include "kde/ThumbnailSource.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/mediaextension/FrameTable.h"
#include "platform/mediaextension/HostError.h"
#include "platform/mediaextension/Registration.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::kde {
namespace {

// Dolphin asks only about files it typed video/x-anim: the file is read as
// an animation whatever its name.
constexpr const char* kANIMTypeIdentifier = "com.amiga.anim";
constexpr std::uint64_t kBytesPerPixel = 4;
constexpr std::uint64_t kWrapUpFrames = 2;

// Where GNOME's thumbnailer looks for a frame, as fractions of the duration,
// in the order it tries them. It seeks to whole milliseconds.
constexpr double kThumbnailPositions[] = {1.0 / 3.0, 2.0 / 3.0, 0.1, 0.9, 0.5};
constexpr std::uint64_t kNanosecondsPerMillisecond = 1'000'000;
// Above this variance of its bytes a picture is not one flat colour.
constexpr float kFlatPictureVariance = 256.0f;

// The extensions installed with the plugin; the program that loaded it (the
// thumbnail worker) lives elsewhere.
std::vector<std::filesystem::path> extensionFolders() {
    const auto plugin = moduleFileContaining(reinterpret_cast<const void*>(&extensionFolders));
    return extensionFoldersFor(plugin, plugin.parent_path() / VELARIUM_EXTENSIONS_FROM_PLUGIN);
}

// Registered once per process; a failure is kept and given to every request.
bool registerExtensions(Error* error) {
    static std::once_flag once;
    static bool registered = false;
    static Error failure;
    std::call_once(once, [] {
        const auto folders = extensionFolders();
        registered = registerFormatReaders(folders, &failure) && registerVideoDecoders(folders, &failure);
    });
    return registered || fail(error, failure);
}

// The frames GNOME's thumbnailer looks at, in its order. It asks GStreamer
// for the duration in nanoseconds, truncates it to milliseconds, seeks to
// each fraction of that (truncated to a millisecond) and takes the frame
// shown there: the one whose [start, end) on GStreamer's clock holds the
// time, since every frame is a key frame.
std::vector<std::uint64_t> candidateFrames(const std::vector<SampleTime>& times, const MediaTime& duration) {
    const FrameTable frames(times);
    const std::uint64_t milliseconds =
        (duration.isNumeric() ? nanoseconds(duration) : frames.end()) / kNanosecondsPerMillisecond;
    std::vector<std::uint64_t> candidates;
    for (const double position : kThumbnailPositions) {
        const auto time = static_cast<std::uint64_t>(position * static_cast<double>(milliseconds));
        candidates.push_back(
            std::min<std::uint64_t>(frames.frameAt(time * kNanosecondsPerMillisecond), frames.count() - 1));
    }
    return candidates;
}

// Whether a picture is more than one flat colour. GNOME's thumbnailer takes
// the variance of the bytes of the picture as packed RGB rows padded to
// four bytes, in single precision and in this order; so does this, so that
// a picture near the threshold is judged the same way.
bool isInteresting(const Picture& picture) {
    const std::uint64_t rowBytes = (picture.width * 3 + 3) / 4 * 4;
    const std::uint64_t padding = rowBytes - picture.width * 3;
    const std::uint64_t samples = rowBytes * picture.height;
    const auto forEachByte = [&](auto&& use) {
        for (std::uint64_t y = 0; y < picture.height; ++y) {
            const std::uint8_t* pixel = picture.bgra.data() + y * picture.width * kBytesPerPixel;
            for (std::uint64_t x = 0; x < picture.width; ++x, pixel += kBytesPerPixel) {
                use(pixel[2]);
                use(pixel[1]);
                use(pixel[0]);
            }
            for (std::uint64_t i = 0; i < padding; ++i) use(std::uint8_t(0));
        }
    };
    float mean = 0.0f;
    forEachByte([&](std::uint8_t byte) { mean += static_cast<float>(byte); });
    mean /= static_cast<float>(samples);
    float variance = 0.0f;
    forEachByte([&](std::uint8_t byte) {
        const float deviation = static_cast<float>(byte) - mean;
        variance += deviation * deviation;
    });
    variance /= static_cast<float>(samples - 1);
    return variance > kFlatPictureVariance;
}

}  // namespace

ThumbnailSource::ThumbnailSource(std::shared_ptr<PlayerItem> item)
    : item_(std::move(item)),
      walker_(item_->videoTrackReader()),
      times_(item_->sampleTimes()),
      duration_(item_->asset()->duration()) {
    const AssetTrack* track = item_->asset()->firstEnabledTrack(kCMMediaType_Video);
    const VideoDimensions dimensions = track->info->formatDescriptions().front()->dimensions();
    width_ = static_cast<std::uint64_t>(std::max(dimensions.width, 0));
    height_ = static_cast<std::uint64_t>(std::max(dimensions.height, 0));
}

ThumbnailSource::~ThumbnailSource() = default;

std::unique_ptr<ThumbnailSource> ThumbnailSource::open(const std::filesystem::path& path, Error* error) {
    if (!registerExtensions(error)) return nullptr;
    // Rows without padding, as the plugin keeps its pictures.
    PlayerItemOptions options;
    options.pixelBuffers.bytesPerRowAlignment = 1;
    auto item = PlayerItem::playerItemWithAsset(Asset::assetWithPath(path, AssetOptions{kANIMTypeIdentifier}), options);
    item->prepare();
    if (item->status() != PlayerItemStatus::readyToPlay) {
        fail(error, item->error().value_or(Error()));
        return nullptr;
    }
    return std::unique_ptr<ThumbnailSource>(new ThumbnailSource(std::move(item)));
}

bool ThumbnailSource::decodeFrame(std::uint64_t index, Picture& picture, Error* error) {
    const PixelBufferRef decoded = decodeSampleAt(walker_, *item_->videoDecoder(), index, width_, height_, error);
    if (!decoded) return false;
    const std::uint64_t rowBytes = width_ * kBytesPerPixel;
    decoded->lockBaseAddress(kCVPixelBufferLock_ReadOnly);
    const std::uint8_t* base = decoded->baseAddress();
    if (base) {
        picture.width = width_;
        picture.height = height_;
        picture.bgra.resize(rowBytes * height_);
        for (std::uint64_t y = 0; y < height_; ++y)
            std::memcpy(picture.bgra.data() + y * rowBytes, base + y * decoded->bytesPerRow(), rowBytes);
    }
    decoded->unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
    return base || fail(error, Error(kHostErrorDomain, kHostErrorExtensionFailed, "The decoded picture has no pixels"));
}

bool ThumbnailSource::thumbnail(std::uint64_t* index, Picture& picture, Error* error) {
    const auto candidates = candidateFrames(times_, duration_);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        // A frame that cannot be decoded is passed over, as a flat one is;
        // only the last one tried must be had.
        const bool last = i + 1 == candidates.size();
        if (!decodeFrame(candidates[i], picture, last ? error : nullptr)) {
            if (last) return false;
            continue;
        }
        if (isInteresting(picture) || last) {
            *index = candidates[i];
            return true;
        }
    }
    return false;
}

std::uint64_t ThumbnailSource::loopLength() {
    const std::uint64_t total = frameCount();
    if (total < 2 * kWrapUpFrames) return total;
    // Opening frames first, then the closing ones, so that the frames are
    // read in order; a frame that cannot be decoded means no wrap-up.
    Picture opening[kWrapUpFrames], closing;
    for (std::uint64_t i = 0; i < kWrapUpFrames; ++i)
        if (!decodeFrame(i, opening[i], nullptr)) return total;
    for (std::uint64_t i = 0; i < kWrapUpFrames; ++i)
        if (!decodeFrame(total - kWrapUpFrames + i, closing, nullptr) || closing.bgra != opening[i].bgra) return total;
    return total - kWrapUpFrames;
}

}  // namespace velarium::kde
