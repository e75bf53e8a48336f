// Sequential playback: parse once, then deliver every frame in order into one
// BGRA buffer. Also the cost of asking for the frame already decoded, which
// should be the colour conversion alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/Counters.h"
#include "bench/PlaybackBench.h"
#include "bench/SyntheticAnim.h"
#include "core/ANIMParser.h"

namespace velarium::bench {
namespace {

// Corpus folders, under anim/, whose files are played.
constexpr const char* kCorpusFolders[] = {"real", "generated", "bench"};

SharedBytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return makeSharedBytes(Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

// A parsed animation and a destination for its frames, or the reason there is none.
struct PlaybackSetup {
    ANIMParser parser;
    Bytes bgra;
    std::string failure;

    explicit PlaybackSetup(SharedBytes file) : parser(std::move(file)) {
        Error error;
        if (!parser.parseWithError(&error)) {
            failure = "parse failed: " + error.localizedDescription;
            return;
        }
        bgra.resize(parser.width() * parser.height() * 4);
    }

    bool deliver(std::uint64_t index) {
        Error error;
        if (parser.decodeFrameAtIndex(index, bgra.data(), bgra.size(), &error)) return true;
        failure = "frame " + std::to_string(index) + ": " + error.localizedDescription;
        return false;
    }

    double pixels() const { return static_cast<double>(parser.width() * parser.height()); }
};

void BM_Playback(benchmark::State& state, SharedBytes file) {
    PlaybackSetup setup(std::move(file));
    const std::uint64_t frames = setup.parser.numFrames();
    for (auto _ : state) {
        // After the first pass, frame 0 restarts from the first picture, as a looping player does.
        for (std::uint64_t i = 0; i < frames && setup.failure.empty(); ++i) setup.deliver(i);
        if (!setup.failure.empty()) break;
        benchmark::DoNotOptimize(setup.bgra.data());
        benchmark::ClobberMemory();
    }
    if (!setup.failure.empty()) {
        state.SkipWithError(setup.failure.c_str());
        return;
    }
    setPictureCounters(state, static_cast<double>(frames), setup.pixels());
}

void BM_SameFrameAgain(benchmark::State& state, SharedBytes file) {
    PlaybackSetup setup(std::move(file));
    const std::uint64_t last = setup.parser.numFrames() - 1;
    if (setup.failure.empty()) setup.deliver(last);
    for (auto _ : state) {
        if (!setup.failure.empty() || !setup.deliver(last)) break;
        benchmark::DoNotOptimize(setup.bgra.data());
        benchmark::ClobberMemory();
    }
    if (!setup.failure.empty()) {
        state.SkipWithError(setup.failure.c_str());
        return;
    }
    setPictureCounters(state, 1, setup.pixels());
}

void registerFile(const std::string& name, const SharedBytes& file) {
    benchmark::RegisterBenchmark(("BM_Playback/" + name).c_str(), BM_Playback, file)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_SameFrameAgain/" + name).c_str(), BM_SameFrameAgain, file)
        ->Unit(benchmark::kMicrosecond);
}

}  // namespace

void registerPlaybackBenchmarks() {
    registerFile("synthetic_320x200x5_1000f", makeSharedBytes(testing::syntheticAnimation(longSyntheticAnimation())));

    const std::filesystem::path anim = std::filesystem::path(VELARIUM_CORPUS_DIR) / "anim";
    if (!std::filesystem::is_directory(anim)) {
        std::fprintf(stderr, "No ANIM corpus at %s: corpus playback benchmarks skipped\n", anim.c_str());
        return;
    }
    for (const char* folder : kCorpusFolders) {
        if (!std::filesystem::is_directory(anim / folder)) continue;
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(anim / folder))
            if (entry.is_regular_file()) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& path : files)
            registerFile(std::string(folder) + "/" + path.filename().string(), readFile(path));
    }
}

}  // namespace velarium::bench
