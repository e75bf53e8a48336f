#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ByteReader.h"

namespace velarium {

// ILBM ByteRun1 (PackBits) as one continuous stream: a literal or repeat run
// that reaches the end of the row being filled carries on into the next row,
// so files that pack each row on its own and files that pack the whole BODY
// as one stream decode alike.
class ByteRun1Stream {
public:
    ByteRun1Stream(const std::uint8_t* data, std::size_t length) : reader_(data, length) {}

    // Fills `count` bytes at `target` (or skips them when target is null).
    // Returns false when the data ran out before the row was full; the bytes
    // already written stay.
    bool fill(std::uint8_t* target, std::size_t count);

private:
    static constexpr int kNoOperation = -128;

    ByteReader reader_;
    std::size_t literalLeft_ = 0;
    std::size_t repeatLeft_ = 0;
    std::uint8_t repeatValue_ = 0;
};

}  // namespace velarium
