#pragma once

// The DLTA decoders. Each applies one frame's delta chunk, in place, to the
// planar bitmap the frame was made against. None allocates or reports an
// error: damaged data ends the frame early and keeps what was written, and
// writes that would fall outside their row or plane are dropped.

#include <cstddef>
#include <cstdint>

#include "core/PlanarBitmap.h"

namespace velarium {

// ANHD option bit shared by the vertical decoders: XOR data into the
// bitmap instead of storing it.
inline constexpr std::uint32_t kDeltaBitExclusiveOr = 1u << 1;

// Long (word size 4) and short (word size 2) delta: per plane, a list of
// cumulative word offsets and runs over the plane taken as one run of words.
void decodeLongShortDelta(const std::uint8_t* data, std::size_t length, PlanarBitmap target,
                          std::size_t wordSize);

// General delta: per plane, an info list of (offset, count) entries and a
// data list, shaped by the option bits (element and field sizes, XOR,
// vertical runs).
void decodeGeneralDelta(const std::uint8_t* data, std::size_t length, PlanarBitmap target, std::uint32_t bits);

// Byte vertical delta: per plane, one column of operations per byte column.
void decodeByteVerticalDelta(const std::uint8_t* data, std::size_t length, PlanarBitmap target,
                             bool exclusiveOr);

// Vertical delta with separate opcode and data lists, in columns one word
// (2 or 4 bytes) wide.
void decodeVerticalDelta7(const std::uint8_t* data, std::size_t length, PlanarBitmap target,
                          std::size_t wordSize, bool exclusiveOr);

// Vertical delta with opcodes and data in one list of words (2 or 4 bytes).
void decodeVerticalDelta8(const std::uint8_t* data, std::size_t length, PlanarBitmap target,
                          std::size_t wordSize, bool exclusiveOr);

// Eric Graham's records of byte columns and byte rectangles, stored or XORed.
void decodeEricGrahamDelta(const std::uint8_t* data, std::size_t length, PlanarBitmap target);

}  // namespace velarium
