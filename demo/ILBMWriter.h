#pragma once

// Writing the IFF pieces of an ANIM file: chunks, the bitmap and animation
// headers, and ByteRun1-packed BODYs. Only the demo generator writes ANIM
// files; the rest of the system only reads them.

#include <cstdint>
#include <string>
#include <vector>

#include "core/ANIMBitmapHeader.h"
#include "core/PlanarBitmap.h"
#include "platform/foundation/Bytes.h"

namespace velarium::demo {

// One chunk: identifier, big-endian size, data, and a pad byte when the size is odd.
Bytes makeChunk(const char (&identifier)[5], const Bytes& data);

// A FORM of the given type around already-made chunks.
Bytes makeForm(const char (&type)[5], const std::vector<Bytes>& chunks);

// The 20 big-endian bytes of a BMHD chunk's data.
Bytes encodeBitmapHeader(const ANIMBitmapHeader& header);

// ANHD fields the demo sets; every other field of the 40-byte chunk is 0.
struct AnimationHeader {
    std::uint8_t operation = 0;     // 0: the frame's picture is a BODY
    std::uint32_t relTime = 1;      // display time in 1/60 s
    std::uint8_t interleave = 0;
};
Bytes encodeAnimationHeader(const AnimationHeader& header);

// DPAN data: the playback speed in frames per second and the frame count.
Bytes encodeDPAN(std::uint16_t frameCount, std::uint8_t framesPerSecond);

// CMAP data from 0xRRGGBB colours.
Bytes encodeColorMap(const std::vector<std::uint32_t>& colors);

// ByteRun1 packing of one row: repeat runs of three or more equal bytes, literals otherwise.
void packByteRun1Row(const std::uint8_t* row, std::size_t length, Bytes& out);

// A whole BODY: for each row, each plane's row packed on its own.
Bytes packBody(const std::uint8_t* planar, const PlanarGeometry& geometry);

}  // namespace velarium::demo
