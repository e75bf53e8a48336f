// Indexing a long animation: 1000 frames, one BODY and 999 small deltas.
#include <benchmark/benchmark.h>

#include "bench/SyntheticAnim.h"
#include "core/ANIMParser.h"

namespace velarium::bench {
namespace {

void BM_Parse1000Frames(benchmark::State& state) {
    const testing::SyntheticAnimation shape = longSyntheticAnimation();
    const SharedBytes file = makeSharedBytes(testing::syntheticAnimation(shape));
    for (auto _ : state) {
        ANIMParser parser(file);
        Error error;
        if (!parser.parseWithError(&error) || parser.numFrames() != shape.ticks.size()) {
            state.SkipWithError("synthetic file did not parse to 1000 frames");
            break;
        }
        benchmark::DoNotOptimize(parser.numFrames());
    }
    state.counters["frames"] = static_cast<double>(shape.ticks.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file->size()));
}
BENCHMARK(BM_Parse1000Frames)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velarium::bench
