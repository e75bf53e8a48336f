#pragma once

// Small ANIM files with the frame timing a test asks for. By default every
// frame is a complete uncompressed picture, so that each frame looks
// different and needs no delta decoder; the benchmarks' long animations
// follow the first picture with small byte-vertical (ANIM-5) deltas instead.

#include <vector>

#include "platform/coremedia/MediaTime.h"
#include "support/IFFWriter.h"

namespace velarium::testing {

struct SyntheticAnimation {
    unsigned width = 16;
    unsigned height = 4;
    unsigned planes = 2;
    std::vector<std::uint32_t> ticks = {1, 1, 1, 1, 1};  // ANHD relative time per frame, in 1/60 s
    unsigned dpanSpeed = 0;                              // frames per second when ticks are 0 or 1; 0 = none
    bool byteVerticalDeltas = false;                     // later frames are deltas (needs a height over 8)
};

inline MediaTime sixtieths(std::int64_t ticks) { return MediaTime::make(ticks, 60); }

inline unsigned syntheticRowBytes(const SyntheticAnimation& shape) { return (shape.width + 15) / 16 * 2; }

// Plane p of frame f is filled with the byte (f * 37 + p * 101 + row) & 0xFF.
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

inline constexpr unsigned kSyntheticDeltaPointers = 16;  // one per plane slot in an ANIM-5 DLTA
inline constexpr unsigned kSyntheticChangedRows = 8;     // rows each delta rewrites in one column
inline constexpr unsigned kByteVerticalSameRun = 0;      // ANIM-5 opcode: count, then one value

// The ANIM-5 delta of frame `frame`: plane 0 only, one column gets a same run
// of kSyntheticChangedRows rows; every other column is left alone.
inline ByteVector syntheticByteVerticalDelta(const SyntheticAnimation& shape, std::size_t frame) {
    const unsigned rowBytes = syntheticRowBytes(shape);
    const unsigned changedColumn = static_cast<unsigned>(frame % rowBytes);
    const unsigned firstRow = 1 + static_cast<unsigned>(frame * 7 % (shape.height - kSyntheticChangedRows));

    // Plane 0's column data follows the table: its pointer, big-endian, fits in the last byte.
    ByteVector data(kSyntheticDeltaPointers * 4, 0);
    data[3] = kSyntheticDeltaPointers * 4;
    for (unsigned column = 0; column < rowBytes; ++column) {
        if (column != changedColumn) {
            data.push_back(0);  // no operations
            continue;
        }
        // Two operations: skip down to the first changed row, then fill the changed rows.
        data.insert(data.end(), {2, std::uint8_t(firstRow), kByteVerticalSameRun, kSyntheticChangedRows,
                                 std::uint8_t(frame)});
    }
    return data;
}

inline ByteVector syntheticAnimation(const SyntheticAnimation& shape) {
    std::vector<ByteVector> frames;
    frames.reserve(shape.ticks.size());
    for (std::size_t f = 0; f < shape.ticks.size(); ++f) {
        std::vector<ByteVector> chunks;
        if (f == 0) {
            chunks.push_back(bmhd({.width = shape.width, .height = shape.height, .planes = shape.planes}));
            chunks.push_back(chunk("CMAP", syntheticColourMap(shape)));
            if (shape.dpanSpeed) chunks.push_back(dpan(shape.dpanSpeed));
        }
        const bool delta = f > 0 && shape.byteVerticalDeltas;
        chunks.push_back(anhd({.operation = delta ? 5u : 0u, .relTime = shape.ticks[f]}));
        chunks.push_back(delta ? chunk("DLTA", syntheticByteVerticalDelta(shape, f))
                               : chunk("BODY", syntheticBody(shape, f)));
        frames.push_back(form("ILBM", chunks));
    }
    return animFile(frames);
}

}  // namespace velarium::testing
