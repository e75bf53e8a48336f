// Scrubbing: how long it takes to show an arbitrary frame after a seek,
// through the whole player road (Player::seekToTime → Farrago's sample
// cursor → the decoding core → Dapple → the sink). Each iteration seeks to
// the next frame of a seeded random order and is timed until the sink holds
// the picture; the counters give the mean and the 95th percentile of those
// times, in milliseconds (the goal is a p95 within one 60 Hz refresh, 16 ms).
// The seek does its work on the calling thread, so the same statistics of
// that thread's CPU time (cpu_*) show the work itself when other programs
// crowd the machine and stretch the wall-clock times.
//
// Files: the 1280×720 8-plane bench file of the corpus (when present) and a
// generated 5,000-frame 640×512 8-plane ANIM-5 animation.
//
// The counters checkpoint_interval and checkpoint_MiB come from a parser of
// the same file with the default checkpoint memory limit, decoded straight
// through, sent back to frame 1 (which starts its checkpoints) and decoded
// straight through again: how far apart the checkpoints a seeking player
// ends up with are and how much they hold.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>
#include <time.h>

#include "core/ANIMParser.h"
#include "platform/mediaextension/Registration.h"
#include "platform/playback/Player.h"
#include "support/SyntheticAnimations.h"
#include "support/TemporaryFolder.h"

namespace velarium {
namespace {

constexpr std::uint32_t kSeekOrderSeed = 20240601;
constexpr std::uint64_t kMaxSeeks = 400;
constexpr double kMiB = 1024.0 * 1024.0;

// Counts the pictures it is given; the seek is over once the count moves.
class CountingSink : public VideoSink {
public:
    void presentPixelBuffer(const PixelBufferRef& buffer, const PresentedFrame&) override {
        benchmark::DoNotOptimize(buffer.get());
        shown.fetch_add(1, std::memory_order_release);
    }
    std::atomic<std::uint64_t> shown{0};
};

// The decoder's checkpoints for this file once a seek has started them and
// decoding has passed every frame.
void setCheckpointCounters(benchmark::State& state, const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    ANIMParser parser(makeSharedBytes(Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())));
    if (!parser.parseWithError(nullptr) || parser.numFrames() < 2) return;
    Bytes frame(parser.width() * parser.height() * 4);
    parser.decodeFrameAtIndex(parser.numFrames() - 1, frame, nullptr);
    parser.decodeFrameAtIndex(1, frame, nullptr);
    parser.decodeFrameAtIndex(parser.numFrames() - 1, frame, nullptr);
    state.counters["checkpoint_interval"] = static_cast<double>(parser.checkpointInterval());
    state.counters["checkpoint_MiB"] = static_cast<double>(parser.checkpointMemoryUsage()) / kMiB;
}

double threadCPUSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double mean(const std::vector<double>& values) {
    return values.empty() ? 0 : std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

void BM_ScrubToRandomFrame(benchmark::State& state, std::filesystem::path file) {
    auto item = PlayerItem::playerItemWithAsset(Asset::assetWithPath(file));
    auto sink = std::make_shared<CountingSink>();
    Player player(item, sink);
    if (item->status() != PlayerItemStatus::readyToPlay) {
        state.SkipWithError(item->error().value_or(Error()).localizedDescription.c_str());
        return;
    }
    const std::vector<SampleTime>& samples = item->sampleTimes();
    std::vector<std::uint64_t> order(samples.size());
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(kSeekOrderSeed));

    std::vector<double> milliseconds, cpuMilliseconds;
    std::size_t next = 0;
    for (auto _ : state) {
        const std::uint64_t index = order[next++ % order.size()];
        const std::uint64_t before = sink->shown.load(std::memory_order_acquire);
        const double cpuStart = threadCPUSeconds();
        const auto start = std::chrono::steady_clock::now();
        Error error;
        if (!player.seekToTime(samples[index].presentationTime, &error)) {
            state.SkipWithError(error.localizedDescription.c_str());
            return;
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        cpuMilliseconds.push_back((threadCPUSeconds() - cpuStart) * 1000.0);
        if (sink->shown.load(std::memory_order_acquire) == before) {
            state.SkipWithError("the seek showed no picture");
            return;
        }
        const double seconds = std::chrono::duration<double>(elapsed).count();
        state.SetIterationTime(seconds);
        milliseconds.push_back(seconds * 1000.0);
    }
    state.counters["mean_ms"] = mean(milliseconds);
    state.counters["p95_ms"] = percentile(milliseconds, 0.95);
    state.counters["max_ms"] = percentile(milliseconds, 1.0);
    state.counters["cpu_mean_ms"] = mean(cpuMilliseconds);
    state.counters["cpu_p95_ms"] = percentile(cpuMilliseconds, 0.95);
    setCheckpointCounters(state, file);
}

void registerFile(const std::string& name, const std::filesystem::path& file, std::uint64_t frames) {
    benchmark::RegisterBenchmark(("BM_ScrubToRandomFrame/" + name).c_str(), BM_ScrubToRandomFrame, file)
        ->UseManualTime()
        ->Iterations(static_cast<benchmark::IterationCount>(std::min(frames, kMaxSeeks)))
        ->Unit(benchmark::kMillisecond);
}

std::uint64_t frameCount(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    ANIMParser parser(makeSharedBytes(Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())));
    return parser.parseWithError(nullptr) ? parser.numFrames() : 0;
}

}  // namespace
}  // namespace velarium

int main(int argc, char** argv) {
    using namespace velarium;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Error error;
    if (!registerFormatReaders(&error) || !registerVideoDecoders(&error)) {
        std::fprintf(stderr, "Extensions not found (%s): nothing to measure\n", error.localizedDescription.c_str());
        return 1;
    }

    const std::filesystem::path benchFile = std::filesystem::path(VELARIUM_CORPUS_DIR) / "anim" / "bench" /
                                            "mm_op5_bench_256col_1280x720_200f.anim";
    if (std::filesystem::is_regular_file(benchFile))
        registerFile("bench_1280x720x8_200f", benchFile, frameCount(benchFile));
    else
        std::fprintf(stderr, "No bench file at %s: its scrub benchmark is skipped\n", benchFile.c_str());

    // The long animation lives in a temporary file for as long as the benchmarks run.
    testing::TemporaryFolder scratch;
    const testing::SyntheticAnimation longShape{.width = 640, .height = 512, .planes = 8,
                                                .ticks = std::vector<std::uint32_t>(5000, 1),
                                                .byteVerticalDeltas = true};
    const auto longFile = scratch.write("long.anim", testing::syntheticAnimation(longShape));
    registerFile("synthetic_640x512x8_5000f", longFile, longShape.ticks.size());

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
