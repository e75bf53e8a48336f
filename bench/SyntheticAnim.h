#pragma once

// The benchmarks' long animation, assembled in memory with the tests' builder:
// one full 320×200, 5-plane picture followed by 999 small byte-vertical
// deltas, the shape of a typical long animation.

#include "support/SyntheticAnimations.h"

namespace velarium::bench {

inline testing::SyntheticAnimation longSyntheticAnimation() {
    testing::SyntheticAnimation shape;
    shape.width = 320;
    shape.height = 200;
    shape.planes = 5;
    shape.ticks.assign(1000, 1);
    shape.byteVerticalDeltas = true;
    return shape;
}

}  // namespace velarium::bench
