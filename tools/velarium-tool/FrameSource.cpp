// The frame source backed by the media platform: the walker of the movie's
// video track loads each frame as a sample, and the video decoder turns it
// into a pixel buffer that is read in place.
#include "tools/velarium-tool/FrameSource.h"

#include <algorithm>

#include "platform/mediaextension/SampleWalker.h"
#include "export/MovieSource.h"
#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {

Frame::Frame(PixelBufferRef picture) {
    picture->lockBaseAddress(kCVPixelBufferLock_ReadOnly);
    base_ = picture->baseAddress();
    bytesPerRow_ = picture->bytesPerRow();
    PixelBuffer* buffer = picture.get();
    held_ = std::shared_ptr<PixelBuffer>(buffer, [picture = std::move(picture)](PixelBuffer*) {
        picture->unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
    });
}

Frame::Frame(std::shared_ptr<const std::vector<std::uint8_t>> pixels, std::uint64_t bytesPerRow)
    : base_(pixels->data()), bytesPerRow_(bytesPerRow) {
    held_ = std::move(pixels);
}

namespace {

class MovieFrameSource final : public FrameSource {
public:
    explicit MovieFrameSource(std::shared_ptr<PlayerItem> item)
        : item_(std::move(item)), walker_(item_->videoTrackReader()) {
        const auto dimensions = item_->videoTrackReader() ? trackDimensions() : VideoDimensions{};
        width_ = static_cast<std::uint64_t>(std::max(dimensions.width, 0));
        height_ = static_cast<std::uint64_t>(std::max(dimensions.height, 0));
    }

    std::uint64_t width() const override { return width_; }
    std::uint64_t height() const override { return height_; }
    std::uint64_t frameCount() const override { return item_->sampleTimes().size(); }

    bool decodeFrame(std::uint64_t index, Frame& frame, Error* error) override {
        PixelBufferRef picture = decodeSampleAt(walker_, *item_->videoDecoder(), index, width_, height_, error);
        if (!picture) return false;
        frame = Frame(std::move(picture));
        if (!frame) return fail(error, toolError(kToolErrorCannotWrite, "The decoded picture has no pixels"));
        return true;
    }

private:
    VideoDimensions trackDimensions() const {
        const AssetTrack* track = item_->asset()->firstEnabledTrack(kCMMediaType_Video);
        return track ? track->info->formatDescriptions().front()->dimensions() : VideoDimensions{};
    }

    std::shared_ptr<PlayerItem> item_;
    std::uint64_t width_ = 0;
    std::uint64_t height_ = 0;
    SampleWalker walker_;
};

}  // namespace

std::unique_ptr<FrameSource> openFrameSource(const std::string& path, Error* error) {
    // Rows exactly width × 4 bytes long: a frame is written out in one piece.
    PlayerItemOptions options;
    options.pixelBuffers.bytesPerRowAlignment = 1;
    auto item = exporter::openMovie(path, options, error);
    if (!item) return nullptr;
    return std::make_unique<MovieFrameSource>(std::move(item));
}

}  // namespace velarium::tool
