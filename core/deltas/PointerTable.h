#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ByteReader.h"

namespace velarium {

// Most delta chunks open with a table of 32-bit pointers, offsets from the
// start of the chunk to the lists of each plane.
inline constexpr std::size_t kListPointerSize = 4;

// Entry `index` of the table, or 0 (no list) when it lies past the chunk.
inline std::uint32_t listPointer(const ByteReader& chunk, std::size_t index) {
    std::uint32_t pointer = 0;
    return chunk.peekU32At(index * kListPointerSize, pointer) ? pointer : 0;
}

}  // namespace velarium
