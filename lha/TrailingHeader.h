#pragma once

#include <cstdint>
#include <cstdio>

namespace velarium {

// True when the bytes of `file` from `offset` to its end hold what looks like
// another LHA header: a method id such as "-lh5-", "-lz4-" or "-pm2-" at
// offset 2 of a header whose level byte is 0 to 3 (or which the end of the
// file cuts off before its level byte). Padding, zeros and an end marker do
// not.
bool holdsAnotherHeader(std::FILE* file, std::uint64_t offset);

}  // namespace velarium
