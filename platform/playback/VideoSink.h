#pragma once

#include <cstdint>

#include "platform/coremedia/MediaTime.h"
#include "platform/coremedia/PixelBuffer.h"

namespace velarium {

struct PresentedFrame {
    std::uint64_t index = 0;     // position of the sample in the track
    MediaTime presentationTime;  // the sample's time in the movie
    MediaTime duration;
    MediaTime hostTime;          // the clock's time when it was handed to the sink
    bool late = false;           // handed over later than its time allowed
};

// Where a player shows its frames: a window, or a test that records them.
// Called on the player's playback thread while playing, and on the caller's
// thread for seeks and steps; never with a player lock held.
class VideoSink {
public:
    virtual ~VideoSink();
    virtual void presentPixelBuffer(const PixelBufferRef& pixelBuffer, const PresentedFrame& frame) = 0;
};

}  // namespace velarium
