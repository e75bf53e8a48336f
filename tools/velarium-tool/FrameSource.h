#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/coremedia/MediaTime.h"
#include "platform/coremedia/PixelBuffer.h"
#include "platform/foundation/Error.h"

namespace velarium::tool {

// One decoded frame, read where the video decoder left it: its pixel buffer,
// locked for reading for as long as any copy of the frame lives. Row y holds
// width × 4 BGRA bytes from row(y).
class Frame {
public:
    Frame() = default;
    explicit Frame(PixelBufferRef picture);
    // Packed rows of `bytesPerRow` bytes held in `pixels`.
    Frame(std::shared_ptr<const std::vector<std::uint8_t>> pixels, std::uint64_t bytesPerRow);

    explicit operator bool() const { return base_ != nullptr; }
    const std::uint8_t* row(std::uint64_t y) const { return base_ + y * bytesPerRow_; }
    std::uint64_t bytesPerRow() const { return bytesPerRow_; }

private:
    std::shared_ptr<const void> held_;  // unlocks the buffer, or lets the bytes go, when the last copy goes
    const std::uint8_t* base_ = nullptr;
    std::uint64_t bytesPerRow_ = 0;
};

// Where the `frames` command gets its pictures: BGRA frames of width ×
// height pixels, asked for by index. They come the way an application gets
// them: through the format reader and the video decoder.
class FrameSource {
public:
    virtual ~FrameSource() = default;

    virtual std::uint64_t width() const = 0;
    virtual std::uint64_t height() const = 0;
    virtual std::uint64_t frameCount() const = 0;
    std::uint64_t frameByteCount() const { return width() * height() * kBytesPerPixel; }

    // Decodes frame `index` into `frame`; false (and the error) when it cannot.
    virtual bool decodeFrame(std::uint64_t index, Frame& frame, Error* error) = 0;

    static constexpr std::uint64_t kBytesPerPixel = 4;
};

// Opens the animation at `path` as a frame source; null (and the error)
// when it cannot be read or holds no frames.
std::unique_ptr<FrameSource> openFrameSource(const std::string& path, Error* error);

// The same frames as they look `cyclingElapsed` after colour cycling
// started. Cycling is a presentation of the file's own registers, which the
// decoded pictures no longer hold, so these come from the decoding core.
std::unique_ptr<FrameSource> openCycledFrameSource(const std::string& path, const MediaTime& cyclingElapsed,
                                                   Error* error);

}  // namespace velarium::tool
