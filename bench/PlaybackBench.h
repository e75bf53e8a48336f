#pragma once

namespace velarium::bench {

// Registers the playback benchmarks: the synthetic animation, and one pair
// per corpus file found (none when the corpus is absent).
void registerPlaybackBenchmarks();

}  // namespace velarium::bench
