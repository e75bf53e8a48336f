#pragma once

// The pictures Dolphin's thumbnails show of an animation, read without Qt:
// the plugin opens the file through the format reader and the video decoder
// it loads from the folder installed with it, as every host of the two
// extensions does, and steps through the frames with the platform's walker.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/mediaextension/SampleWalker.h"

namespace velarium {
class PlayerItem;
}

namespace velarium::kde {

// One decoded frame: width × height pixels, packed BGRA rows of width × 4 bytes.
struct Picture {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::vector<std::uint8_t> bgra;
};

class ThumbnailSource {
public:
    // Null with the error when the file cannot be read as an animation.
    static std::unique_ptr<ThumbnailSource> open(const std::filesystem::path& path, Error* error);
    ~ThumbnailSource();

    std::uint64_t frameCount() const { return times_.size(); }

    // The frame that stands for the file, as GNOME's thumbnailer picks it
    // when it plays the file through our GStreamer plugin: the frames shown
    // at 1/3, 2/3, 1/10, 9/10 and 1/2 of the duration are tried in turn and
    // the first that is not nearly one flat colour is taken, else the last
    // one tried. Gives the frame's index and picture; false when the last
    // one tried cannot be decoded.
    bool thumbnail(std::uint64_t* index, Picture& picture, Error* error);

    // The frames one loop of the animation shows: all of them, less the two
    // wrap-up frames at the end of Deluxe Paint files (they repeat frames 0
    // and 1 so that a double-buffered player loops without a jump).
    std::uint64_t loopLength();

    // Frame `index` of the file.
    bool decodeFrame(std::uint64_t index, Picture& picture, Error* error);

private:
    explicit ThumbnailSource(std::shared_ptr<PlayerItem> item);

    std::shared_ptr<PlayerItem> item_;
    SampleWalker walker_;
    std::vector<SampleTime> times_;
    MediaTime duration_;
    std::uint64_t width_ = 0;
    std::uint64_t height_ = 0;
};

}  // namespace velarium::kde
