// The frame source backed by the media platform: a sample cursor of the
// movie's video track loads each frame as a sample, the video decoder turns
// it into a pixel buffer, and the pixels are copied out row by row.
#include "tools/velarium-tool/FrameSource.h"

#include <algorithm>
#include <cstring>

#include "tools/velarium-tool/MovieFile.h"
#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {
namespace {

class MovieFrameSource final : public FrameSource {
public:
    explicit MovieFrameSource(std::shared_ptr<PlayerItem> item) : item_(std::move(item)) {
        const auto dimensions = item_->videoTrackReader() ? trackDimensions() : VideoDimensions{};
        width_ = static_cast<std::uint64_t>(std::max(dimensions.width, 0));
        height_ = static_cast<std::uint64_t>(std::max(dimensions.height, 0));
    }

    std::uint64_t width() const override { return width_; }
    std::uint64_t height() const override { return height_; }
    std::uint64_t frameCount() const override { return item_->sampleTimes().size(); }

    bool copyFrame(std::uint64_t index, std::uint8_t* bytes, std::uint64_t length, Error* error) override {
        if (!moveCursorTo(index, error)) return false;
        PixelBufferRef picture;
        if (!decodeCurrentSample(&picture, error)) return false;
        return copyPixels(*picture, bytes, length, error);
    }

private:
    VideoDimensions trackDimensions() const {
        const AssetTrack* track = item_->asset()->firstEnabledTrack(kCMMediaType_Video);
        return track ? track->info->formatDescriptions().front()->dimensions() : VideoDimensions{};
    }

    bool moveCursorTo(std::uint64_t index, Error* error) {
        if (!cursor_) {
            item_->videoTrackReader()->generateSampleCursorAtFirstSampleInDecodeOrderWithCompletionHandler(
                [&](MESampleCursorRef cursor, const Error* failure) {
                    cursor_ = cursor;
                    if (failure) fail(error, *failure);
                });
            if (!cursor_) return false;
            cursorIndex_ = 0;
        }
        std::int64_t steps = 0;
        cursor_->stepInDecodeOrderByCount(static_cast<std::int64_t>(index - cursorIndex_),
                                          [&](std::int64_t taken, const Error*) { steps = taken; });
        cursorIndex_ += static_cast<std::uint64_t>(steps);
        if (cursorIndex_ != index)
            return fail(error, Error(kToolErrorDomain, kToolErrorFrameRange,
                                     "Frame " + std::to_string(index) + " is not in the movie"));
        return true;
    }

    bool decodeCurrentSample(PixelBufferRef* picture, Error* error) {
        SampleBufferRef sample;
        cursor_->loadSampleBufferContainingSamplesToEndCursor(nullptr, [&](SampleBufferRef loaded, const Error* failure) {
            sample = loaded;
            if (failure) fail(error, *failure);
        });
        if (!sample) return false;
        item_->videoDecoder()->decodeFrameFromSampleBuffer(
            sample, {}, [&](PixelBufferRef decoded, MEDecodeFrameStatus, const Error* failure) {
                *picture = decoded;
                if (failure) fail(error, *failure);
            });
        return *picture != nullptr;
    }

    bool copyPixels(PixelBuffer& picture, std::uint8_t* bytes, std::uint64_t length, Error* error) const {
        const std::uint64_t rowLength = width_ * kBytesPerPixel;
        if (picture.width() != width_ || picture.height() != height_ || length < rowLength * height_)
            return fail(error, Error(kToolErrorDomain, kToolErrorCannotWrite, "The decoded picture has the wrong size"));
        picture.lockBaseAddress(kCVPixelBufferLock_ReadOnly);
        const std::uint8_t* base = picture.baseAddress();
        for (std::uint64_t row = 0; row < height_; ++row)
            std::memcpy(bytes + row * rowLength, base + row * picture.bytesPerRow(), rowLength);
        picture.unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
        return true;
    }

    std::shared_ptr<PlayerItem> item_;
    std::uint64_t width_ = 0;
    std::uint64_t height_ = 0;
    MESampleCursorRef cursor_;
    std::uint64_t cursorIndex_ = 0;
};

}  // namespace

std::unique_ptr<FrameSource> openFrameSource(const std::string& path, Error* error) {
    // Rows exactly width × 4 bytes long: each frame leaves the decoder in one copy.
    PlayerItemOptions options;
    options.pixelBuffers.bytesPerRowAlignment = 1;
    auto item = openMovie(path, options, error);
    if (!item) return nullptr;
    return std::make_unique<MovieFrameSource>(std::move(item));
}

}  // namespace velarium::tool
