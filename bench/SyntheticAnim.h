#pragma once

// An ANIM file assembled in memory: one full first picture followed by small
// byte-vertical (op 5) deltas, the shape of a typical long animation.

#include <cstddef>
#include <vector>

#include "support/IFFWriter.h"

namespace velarium::bench {

struct SyntheticAnimShape {
    unsigned width = 320;
    unsigned height = 200;
    unsigned planes = 5;
    std::size_t frames = 1000;  // including the first picture
};

inline constexpr unsigned kDeltaPointerCount = 16;   // one per plane slot in an op-5 DLTA
inline constexpr unsigned kChangedRows = 8;          // rows each delta rewrites in one column
inline constexpr unsigned kByteVerticalSameRun = 0;  // op-5 opcode: count, then one value

// The op-5 delta of frame `frame`: plane 0 only, one column gets a same-run
// of kChangedRows rows; every other column is left alone.
inline testing::ByteVector byteVerticalDelta(const SyntheticAnimShape& shape, std::size_t frame) {
    const unsigned rowBytes = (shape.width + 15) / 16 * 2;
    const unsigned changedColumn = static_cast<unsigned>(frame % rowBytes);
    const unsigned firstRow = 1 + static_cast<unsigned>(frame * 7 % (shape.height - kChangedRows));

    testing::ByteVector data;
    testing::appendU32(data, kDeltaPointerCount * 4);  // plane 0's column data follows the table
    for (unsigned i = 1; i < kDeltaPointerCount; ++i) testing::appendU32(data, 0);
    for (unsigned column = 0; column < rowBytes; ++column) {
        if (column != changedColumn) {
            testing::appendU8(data, 0);  // no operations
            continue;
        }
        testing::appendU8(data, 2);         // two operations:
        testing::appendU8(data, firstRow);  // skip down to the first changed row,
        testing::appendU8(data, kByteVerticalSameRun);
        testing::appendU8(data, kChangedRows);  // then fill kChangedRows rows
        testing::appendU8(data, static_cast<unsigned>(frame));
    }
    return data;
}

inline testing::ByteVector buildSyntheticAnim(const SyntheticAnimShape& shape) {
    using namespace testing;
    const unsigned rowBytes = (shape.width + 15) / 16 * 2;

    // First picture: uncompressed BODY with a simple pattern, and a full colour map.
    ByteVector body(static_cast<std::size_t>(rowBytes) * shape.height * shape.planes);
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<std::uint8_t>(i * 37 + (i >> 9));
    ByteVector colourMap;
    for (unsigned i = 0; i < (1u << shape.planes) && i < 256; ++i) {
        appendU8(colourMap, i * 3);
        appendU8(colourMap, 255 - i);
        appendU8(colourMap, i * 7);
    }
    BMHDFields header;
    header.width = shape.width;
    header.height = shape.height;
    header.planes = shape.planes;

    std::vector<ByteVector> frames;
    frames.reserve(shape.frames);
    frames.push_back(form("ILBM", {bmhd(header), anhd({.operation = 0}), chunk("CMAP", colourMap),
                                   chunk("BODY", body)}));
    for (std::size_t f = 1; f < shape.frames; ++f)
        frames.push_back(form("ILBM", {anhd({.operation = 5}), chunk("DLTA", byteVerticalDelta(shape, f))}));
    return animFile(frames);
}

}  // namespace velarium::bench
