#pragma once

// Small ANIM files whose every frame is a complete uncompressed picture, so
// that each frame looks different and needs no delta decoder, with the
// frame timing a test asks for.

#include <vector>

#include "support/IFFWriter.h"

namespace velarium::testing {

struct SyntheticAnimation {
    unsigned width = 16;
    unsigned height = 4;
    unsigned planes = 2;
    std::vector<std::uint32_t> ticks = {1, 1, 1, 1, 1};  // ANHD relative time per frame, in 1/60 s
    unsigned dpanSpeed = 0;                              // frames per second when ticks are 0 or 1; 0 = none
};

// Plane p of frame f is filled with the byte (f * 37 + p * 101 + row) & 0xFF.
inline ByteVector syntheticBody(const SyntheticAnimation& shape, std::size_t frame) {
    const unsigned rowBytes = (shape.width + 15) / 16 * 2;
    ByteVector body;
    for (unsigned row = 0; row < shape.height; ++row)
        for (unsigned plane = 0; plane < shape.planes; ++plane)
            for (unsigned i = 0; i < rowBytes; ++i)
                body.push_back(static_cast<std::uint8_t>(frame * 37 + plane * 101 + row + i));
    return body;
}

inline ByteVector syntheticAnimation(const SyntheticAnimation& shape) {
    std::vector<ByteVector> frames;
    for (std::size_t f = 0; f < shape.ticks.size(); ++f) {
        std::vector<ByteVector> chunks;
        if (f == 0) {
            BMHDFields header;
            header.width = shape.width;
            header.height = shape.height;
            header.planes = shape.planes;
            chunks.push_back(bmhd(header));
            chunks.push_back(cmap({0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x808080, 0x123456, 0xABCDEF}));
            if (shape.dpanSpeed) chunks.push_back(dpan(shape.dpanSpeed));
        }
        ANHDFields timing;
        timing.operation = 0;
        timing.relTime = shape.ticks[f];
        chunks.push_back(anhd(timing));
        chunks.push_back(chunk("BODY", syntheticBody(shape, f)));
        frames.push_back(form("ILBM", chunks));
    }
    return animFile(frames);
}

}  // namespace velarium::testing
