#include "core/ByteRun1.h"

#include <algorithm>
#include <cstring>

namespace velarium {

bool ByteRun1Stream::fill(std::uint8_t* target, std::size_t count) {
    std::size_t x = 0;
    while (x < count) {
        if (literalLeft_ > 0) {
            const std::size_t n = std::min({literalLeft_, count - x, reader_.remaining()});
            if (n == 0) return false;
            const std::uint8_t* source = reader_.take(n);
            if (target) std::memcpy(target + x, source, n);
            x += n;
            literalLeft_ -= n;
            continue;
        }
        if (repeatLeft_ > 0) {
            const std::size_t n = std::min(repeatLeft_, count - x);
            if (target) std::memset(target + x, repeatValue_, n);
            x += n;
            repeatLeft_ -= n;
            continue;
        }
        std::uint8_t control;
        if (!reader_.readU8(control)) return false;
        const int t = static_cast<std::int8_t>(control);
        if (t >= 0) {
            literalLeft_ = static_cast<std::size_t>(t) + 1;
        } else if (t != kNoOperation) {
            // A repeat whose value byte is missing repeats zero.
            repeatValue_ = 0;
            reader_.readU8(repeatValue_);
            repeatLeft_ = static_cast<std::size_t>(1 - t);
        }
    }
    return true;
}

}  // namespace velarium
