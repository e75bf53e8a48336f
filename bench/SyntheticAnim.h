#pragma once

// The benchmarks' long animation, assembled in memory with the tests' builder:
// one full 320×200, 5-plane picture followed by 999 small byte-vertical
// deltas, the shape of a typical long animation.

#include "support/SyntheticAnimations.h"

namespace velarium::bench {

inline testing::SyntheticAnimation longSyntheticAnimation() {
    return {.width = 320, .height = 200, .planes = 5, .ticks = std::vector<std::uint32_t>(1000, 1),
            .byteVerticalDeltas = true};
}

}  // namespace velarium::bench
