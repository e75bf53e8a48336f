#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "export/Exporter.h"
#include "platform/coremedia/MediaTime.h"
#include "platform/foundation/Error.h"

namespace velarium::exporter {

// One picture to encode: width × height RGBA pixels, rows packed (width × 4
// bytes each). Alpha is 0 for the file's transparent colour, else 255.
struct Picture {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::vector<std::uint8_t> rgba;
};

// What an encoder is told before the first picture.
struct EncoderSetup {
    int fd = -1;                // the (empty, temporary) output file, open for writing
    std::string path;           // the same file by name, for encoders that open it themselves
    std::uint64_t width = 0;    // of every picture
    std::uint64_t height = 0;
    std::uint64_t pictureCount = 0;  // upper bound of the pictures that will come
    bool loop = true;           // loop forever (the picture formats), else play once
};

// Writes one format. Pictures come in order, each with its exact start and
// duration (starts rise, each picture ends where the next starts); the
// encoder rounds them the way its format must, on the running total.
class AnimationEncoder {
public:
    virtual ~AnimationEncoder() = default;

    virtual bool begin(const EncoderSetup& setup, Error* error) = 0;
    virtual bool addPicture(const Picture& picture, MediaTime start, MediaTime duration, Error* error) = 0;
    // Writes everything still held and closes the format; the file is
    // complete when it returns true.
    virtual bool finish(Error* error) = 0;
    // Pictures the format could not show for their time and gave to the one
    // before (GIF's shortest delay); 0 for the others.
    virtual std::uint64_t droppedPictures() const { return 0; }
};

std::unique_ptr<AnimationEncoder> makeAPNGEncoder();
std::unique_ptr<AnimationEncoder> makeWebPEncoder();
std::unique_ptr<AnimationEncoder> makeGIFEncoder();
// WebM (VP9) or MP4 (H.264), through GStreamer.
std::unique_ptr<AnimationEncoder> makeVideoEncoder(ExportFormat format);

std::unique_ptr<AnimationEncoder> makeEncoder(ExportFormat format);

}  // namespace velarium::exporter
