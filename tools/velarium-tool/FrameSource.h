#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Error.h"

namespace velarium::tool {

// Where the `frames` command gets its pictures: packed BGRA frames of
// width × height × 4 bytes, asked for by index. They come the way an
// application gets them: through the format reader and the video decoder.
class FrameSource {
public:
    virtual ~FrameSource() = default;

    virtual std::uint64_t width() const = 0;
    virtual std::uint64_t height() const = 0;
    virtual std::uint64_t frameCount() const = 0;
    std::uint64_t frameByteCount() const { return width() * height() * kBytesPerPixel; }

    // Fills `bytes` (at least frameByteCount() long) with frame `index`.
    virtual bool copyFrame(std::uint64_t index, std::uint8_t* bytes, std::uint64_t length, Error* error) = 0;

    static constexpr std::uint64_t kBytesPerPixel = 4;
};

// Opens the animation at `path` as a frame source; null (and the error)
// when it cannot be read or holds no frames.
std::unique_ptr<FrameSource> openFrameSource(const std::string& path, Error* error);

}  // namespace velarium::tool
