// One step of colour cycling on a 1280×720 picture: the frame in hand
// converted again with its colour map turned, through the parser as a viewer
// calls it. Each iteration is one step later than the one before, so every
// range moves each time. The budget is 2 ms a step.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "bench/Counters.h"
#include "core/ANIMParser.h"
#include "support/IFFWriter.h"

namespace velarium::bench {
namespace {

using namespace velarium::testing;

constexpr unsigned kWidth = 1280, kHeight = 720;
constexpr std::uint32_t kSeed = 0xC7C1E5;
constexpr std::int32_t kStepsPerSecond = 60;  // the ranges' speed: rate 16384

// A stored (uncompressed) 720p picture of random pixels, with a forward range
// over nearly every register and a reverse one inside it.
ByteVector cyclingPicture(unsigned planes, std::uint32_t mode) {
    std::mt19937 random(kSeed);
    ByteVector body(std::size_t(kWidth / 8) * kHeight * planes);
    for (auto& byte : body) byte = static_cast<std::uint8_t>(random());
    ByteVector colours(3 * 256);
    for (auto& byte : colours) byte = static_cast<std::uint8_t>(random());
    const unsigned registers = mode & ANIMParser::kCamgHAM ? (1u << (planes - 2)) : (1u << planes);
    return animFile({form("ILBM", {bmhd({.width = kWidth, .height = kHeight, .planes = planes}),
                                   chunk("CMAP", colours), camg(mode),
                                   chunk("CRNG", concat({w16({0, 16384, 1}), words({1, registers - 1}, 1)})),
                                   chunk("CRNG", concat({w16({0, 16384, 3}), words({2, registers / 2}, 1)})),
                                   chunk("BODY", body)})});
}

void BM_CyclingStep(benchmark::State& state, unsigned planes, std::uint32_t mode) {
    ANIMParser parser(makeSharedBytes(cyclingPicture(planes, mode)));
    if (!parser.parseWithError(nullptr)) return state.SkipWithError("the picture did not parse");
    Bytes bgra(std::size_t(kWidth) * kHeight * 4);
    parser.decodeFrameAtIndex(0, bgra, nullptr);
    std::int64_t step = 0;
    for (auto _ : state) {
        parser.decodeFrameAtIndex(0, MediaTime::make(++step, kStepsPerSecond), bgra.data(), bgra.size(), nullptr);
        benchmark::DoNotOptimize(bgra.data());
        benchmark::ClobberMemory();
    }
    setPictureCounters(state, 1, double(kWidth) * kHeight);
}

BENCHMARK_CAPTURE(BM_CyclingStep, palette_1280x720x8, 8u, 0u)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CyclingStep, ehb_1280x720x6, 6u, ANIMParser::kCamgEHB)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CyclingStep, ham8_1280x720, 8u, ANIMParser::kCamgHAM)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velarium::bench
