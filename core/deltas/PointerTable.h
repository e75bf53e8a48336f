#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ByteReader.h"
#include "core/PlanarBitmap.h"

namespace velarium {

// Most delta chunks open with a table of 32-bit pointers, offsets from the
// start of the chunk to the lists of each plane.
inline constexpr std::size_t kListPointerSize = 4;

// Entry `index` of the table, or 0 (no list) when it lies past the chunk.
inline std::uint32_t listPointer(const ByteReader& chunk, std::size_t index) {
    std::uint32_t pointer = 0;
    return chunk.peekU32At(index * kListPointerSize, pointer) ? pointer : 0;
}

// For deltas whose table holds one pointer per plane: hands each plane's list
// to `decodePlane(list, plane)`. A zero pointer leaves its plane as it is; a
// pointer past the chunk, or a plane decoder returning false on damaged data,
// ends the frame.
template <typename DecodePlane>
void decodePlaneLists(const std::uint8_t* data, std::size_t length, PlanarBitmap& target, DecodePlane decodePlane) {
    const std::size_t planes = target.geometry().numPlanes;
    if (length < kListPointerSize * planes) return;
    const ByteReader chunk(data, length);
    for (std::size_t p = 0; p < planes; ++p) {
        const std::uint32_t pointer = listPointer(chunk, p);
        if (pointer == 0) continue;
        if (pointer >= length) return;
        ByteReader list = chunk.at(pointer);
        if (!decodePlane(list, target.plane(p))) return;
    }
}

}  // namespace velarium
