#pragma once

#include <cstdint>
#include <memory>

#include "platform/coremedia/MediaTime.h"
#include "platform/foundation/Bytes.h"

namespace velarium {

// One row of the frame table: where a frame's picture data lies in the file,
// how it is encoded, which colour map is in force and when it is shown.
struct ANIMFrameInfo {
    std::uint64_t frameIndex = 0;
    std::uint8_t operation = 0;     // ANHD delta method; 0 for a BODY picture without ANHD
    std::uint32_t relTime = 0;      // ANHD relative time in 1/60 s, as stored
    std::uint8_t interleave = 0;    // 1 when the delta is against the previous frame, else 0
    std::uint32_t bits = 0;         // ANHD option bits of the delta method
    std::uint64_t dataOffset = 0;   // first data byte of the BODY or DLTA chunk; 0 when none
    std::uint32_t dataLength = 0;   // size of that chunk's data; 0 when none
    bool isKeyframe = false;        // the picture is a complete BODY
    SharedBytes colorMap;           // raw CMAP bytes in force for this frame, or none
    MediaTime decodeTime;
    MediaTime presentationTime;     // always equal to decodeTime
    MediaTime duration;
};

using ANIMFrameInfoRef = std::shared_ptr<ANIMFrameInfo>;

}  // namespace velarium
