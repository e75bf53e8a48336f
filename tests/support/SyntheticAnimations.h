#pragma once

// Small ANIM files with the frame timing a test asks for: complete pictures,
// or (the benchmarks' long animations) a first picture and small ANIM-5 deltas.

#include <algorithm>
#include <vector>

#include "platform/coremedia/MediaTime.h"
#include "support/IFFWriter.h"

namespace velarium::testing {

struct SyntheticAnimation {
    unsigned width = 16, height = 4, planes = 2;
    std::vector<std::uint32_t> ticks = {1, 1, 1, 1, 1};  // ANHD relative time per frame, in 1/60 s; the last for any later frame
    unsigned dpanSpeed = 0;                              // frames per second when ticks are 0 or 1; 0 = none
    bool byteVerticalDeltas = false;                     // later frames are deltas (needs a height over 8)
    std::vector<unsigned> pictures = {};  // each frame's picture, equal numbers making equal frames; none: one per tick
    BMHDFields header = {};               // the header's other fields: aspect, masking
    ByteVector firstFrameChunks = {};     // such as colour ranges
};

inline MediaTime sixtieths(std::int64_t ticks) { return MediaTime::make(ticks, 60); }

inline unsigned syntheticRowBytes(const SyntheticAnimation& shape) { return (shape.width + 15) / 16 * 2; }

// Byte i of plane p's row of frame f is f * 37 + p * 101 + row + i.
inline ByteVector syntheticBody(const SyntheticAnimation& shape, std::size_t frame) {
    ByteVector body;
    for (unsigned row = 0; row < shape.height; ++row)
        for (unsigned plane = 0; plane < shape.planes; ++plane)
            for (unsigned i = 0; i < syntheticRowBytes(shape); ++i)
                body.push_back(static_cast<std::uint8_t>(frame * 37 + plane * 101 + row + i));
    return body;
}

// Every register the planes can address (at most 256), each a different colour.
inline ByteVector syntheticColourMap(const SyntheticAnimation& shape) {
    ByteVector colours;
    for (unsigned i = 0; i < (1u << shape.planes) && i < 256; ++i)
        colours.insert(colours.end(), {std::uint8_t(i * 3), std::uint8_t(255 - i), std::uint8_t(i * 7)});
    return colours;
}

// Frame `frame`'s ANIM-5 delta: 16 pointers, the first to plane 0's columns,
// of which one skips to a row and fills 8 rows with a same run (opcode 0).
inline ByteVector syntheticByteVerticalDelta(const SyntheticAnimation& shape, std::size_t frame) {
    const unsigned rowBytes = syntheticRowBytes(shape);
    ByteVector data(64, 0);
    data[3] = 64;
    for (unsigned column = 0; column < rowBytes; ++column)
        if (column == frame % rowBytes)
            data.insert(data.end(), {2, std::uint8_t(1 + frame * 7 % (shape.height - 8)), 0, 8, std::uint8_t(frame)});
        else
            data.push_back(0);
    return data;
}

inline ByteVector syntheticAnimation(const SyntheticAnimation& shape) {
    std::vector<ByteVector> frames;
    for (std::size_t f = 0; f < (shape.pictures.empty() ? shape.ticks.size() : shape.pictures.size()); ++f) {
        std::vector<ByteVector> chunks;
        if (f == 0) {
            BMHDFields header = shape.header;
            header.width = shape.width, header.height = shape.height, header.planes = shape.planes;
            chunks = {bmhd(header), chunk("CMAP", syntheticColourMap(shape)), shape.firstFrameChunks};
            if (shape.dpanSpeed) chunks.push_back(dpan(shape.dpanSpeed));
        }
        const bool delta = f > 0 && shape.byteVerticalDeltas;
        chunks.push_back(anhd({.operation = delta ? 5u : 0u, .relTime = shape.ticks[std::min(f, shape.ticks.size() - 1)]}));
        chunks.push_back(delta ? chunk("DLTA", syntheticByteVerticalDelta(shape, f))
                               : chunk("BODY", syntheticBody(shape, shape.pictures.empty() ? f : shape.pictures[f])));
        frames.push_back(form("ILBM", chunks));
    }
    return animFile(frames);
}

}  // namespace velarium::testing
