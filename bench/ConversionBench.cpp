// Planar to BGRA conversion on pseudo-random pictures in each colour mode.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bench/Counters.h"
#include "core/PlanarToBGRA.h"

namespace velarium::bench {
namespace {

constexpr std::uint32_t kSeed = 0x5EED1234;

struct ConversionCase {
    std::size_t width, height, planes;
    ColourMode mode;
    std::size_t colours;  // registers in the colour map
};

// A colour map of `colours` registers with distinct pseudo-random colours.
std::vector<std::uint8_t> randomColourMap(std::size_t colours, std::mt19937& random) {
    std::vector<std::uint8_t> map(colours * 3);
    for (auto& byte : map) byte = static_cast<std::uint8_t>(random());
    return map;
}

void BM_Conversion(benchmark::State& state, ConversionCase c) {
    const PlanarGeometry geometry(c.width, c.height, c.planes);
    std::mt19937 random(kSeed);
    std::vector<std::uint8_t> planar(geometry.bufferSize());
    for (auto& byte : planar) byte = static_cast<std::uint8_t>(random());
    const std::vector<std::uint8_t> colourMap = randomColourMap(c.colours, random);
    std::vector<std::uint8_t> bgra(c.width * c.height * 4);

    for (auto _ : state) {
        convertPlanarToBGRA(planar.data(), geometry, c.mode, colourMap.data(), colourMap.size(), bgra.data());
        benchmark::DoNotOptimize(bgra.data());
        benchmark::ClobberMemory();
    }
    setPictureCounters(state, 1, static_cast<double>(c.width * c.height));
}

constexpr ColourMode kPalette{};
constexpr ColourMode kHam{.ham = true};
constexpr ColourMode kEhb{.ehb = true};

BENCHMARK_CAPTURE(BM_Conversion, palette_320x200x5, ConversionCase{320, 200, 5, kPalette, 256});
BENCHMARK_CAPTURE(BM_Conversion, palette_640x512x8, ConversionCase{640, 512, 8, kPalette, 256});
// The size of the large benchmark animation: the frame no longer fits in L2.
BENCHMARK_CAPTURE(BM_Conversion, palette_1280x720x8, ConversionCase{1280, 720, 8, kPalette, 256});
BENCHMARK_CAPTURE(BM_Conversion, ehb_320x200x6, ConversionCase{320, 200, 6, kEhb, 32});
BENCHMARK_CAPTURE(BM_Conversion, ham6_320x200, ConversionCase{320, 200, 6, kHam, 16});
BENCHMARK_CAPTURE(BM_Conversion, ham8_320x256, ConversionCase{320, 256, 8, kHam, 64});
// A width that is not a multiple of 8 exercises the partial last byte column.
BENCHMARK_CAPTURE(BM_Conversion, palette_100x75x8, ConversionCase{100, 75, 8, kPalette, 256});

}  // namespace
}  // namespace velarium::bench
