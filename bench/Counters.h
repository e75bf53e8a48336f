#pragma once

// Picture throughput counters shared by the benchmarks.

#include <benchmark/benchmark.h>

namespace velarium::bench {

// frame_rate: frames per second of CPU time. pixel_time: seconds per output
// pixel (an inverted rate, so the console shows it as "...ps" or "...ns").
inline void setPictureCounters(benchmark::State& state, double framesPerIteration, double pixelsPerFrame) {
    state.counters["frame_rate"] = benchmark::Counter(framesPerIteration, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["pixel_time"] =
        benchmark::Counter(framesPerIteration * pixelsPerFrame,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace velarium::bench
