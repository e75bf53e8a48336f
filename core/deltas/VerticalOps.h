#pragma once

#include <cstdint>

namespace velarium {

// Opcodes shared by the byte-vertical and separate-list vertical deltas:
// 0 starts a same run, 1–127 skip rows, 128–255 start a literal run of
// (opcode − 128) items.
inline constexpr std::uint8_t kSameRunOp = 0;
inline constexpr std::uint8_t kFirstLiteralOp = 0x80;

}  // namespace velarium
