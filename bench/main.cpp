// Benchmark entry point: registers the benchmarks that depend on files found
// at run time, then hands over to Google Benchmark.
#include <benchmark/benchmark.h>

#include "bench/PlaybackBench.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    velarium::bench::registerPlaybackBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
