#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "export/PictureScale.h"
#include "platform/foundation/Error.h"
#include "platform/mediaextension/SampleWalker.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::exporter {

// The type every animation handed to the exporter or the tool is read as,
// whatever its name ("walk.iff", "WALK"): the host names it rather than
// trusting extensions.
inline constexpr const char* kANIMTypeIdentifier = "com.amiga.anim";

// Opens `path` as a movie the way an application does: the extensions
// embedded with the program are registered, an asset is made with the ANIM
// type named, and a player item prepared on it. Null, with the error of the
// step that failed, unless the item is ready to play.
std::shared_ptr<PlayerItem> openMovie(const std::string& path, const PlayerItemOptions& options, Error* error);

// The frames of a movie as the exporter reads them: the sample times of its
// video track, and each frame decoded by the video decoder, as packed BGRA
// (width × 4 bytes a row) or made into a scaled RGBA picture straight from
// the decoder's pixel buffer.
class MovieSource {
public:
    // Null with the error when the movie cannot be opened or listed.
    static std::unique_ptr<MovieSource> open(const std::string& path, Error* error);

    std::uint64_t width() const { return width_; }
    std::uint64_t height() const { return height_; }
    const std::vector<SampleTime>& sampleTimes() const { return times_; }

    // Decodes frame `index` into `bgra` (resized to width × height × 4).
    bool decodeFrame(std::uint64_t index, std::vector<std::uint8_t>& bgra, Error* error);
    // Decodes frame `index` into `picture`, each pixel repeated as `factors` say.
    bool decodePicture(std::uint64_t index, ScaleFactors factors, Picture& picture, Error* error);

private:
    explicit MovieSource(std::shared_ptr<PlayerItem> item);
    template <typename Use>
    bool readFrame(std::uint64_t index, Error* error, Use&& use);

    std::shared_ptr<PlayerItem> item_;
    SampleWalker walker_;
    std::vector<SampleTime> times_;
    std::uint64_t width_ = 0;
    std::uint64_t height_ = 0;
};

}  // namespace velarium::exporter
