#pragma once

#include <cstddef>
#include <type_traits>

namespace velarium {

template <std::size_t Size>
using WordSizeConstant = std::integral_constant<std::size_t, Size>;

// The short and long forms of a delta differ only in their word size, so each
// is one template on it. This calls `decode` with the size, 2 or 4 bytes, as a
// WordSizeConstant; any other size decodes nothing.
template <typename Decode>
void withWordSize(std::size_t wordSize, Decode decode) {
    if (wordSize == 4)
        decode(WordSizeConstant<4>{});
    else if (wordSize == 2)
        decode(WordSizeConstant<2>{});
}

}  // namespace velarium
