// Sequential playback through the extensions against the core alone, on the
// same files: every frame in order, from the first.
//   BM_Core       ANIMParser::decodeFrameAtIndex into one reused BGRA buffer.
//   BM_Extensions Farrago and Dapple loaded as modules, as a host drives them:
//                 a sample cursor loads each frame as a sample buffer, Dapple
//                 copies it into a pixel buffer from the pixel buffer manager,
//                 the cursor steps on.
// The ratio of the two is the cost of the extension road.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/ANIMParser.h"
#include "platform/mediaextension/ExtensionRegistry.h"
#include "platform/mediaextension/FileByteSource.h"
#include "platform/mediaextension/Registration.h"
#include "platform/mediaextension/SampleWalker.h"

namespace velarium {
namespace {

constexpr const char* kCorpusFolders[] = {"bench", "generated", "real"};

void BM_Core(benchmark::State& state, std::filesystem::path file) {
    std::ifstream in(file, std::ios::binary);
    ANIMParser parser(makeSharedBytes(Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())));
    Error error;
    if (!parser.parseWithError(&error)) {
        state.SkipWithError(error.localizedDescription.c_str());
        return;
    }
    Bytes frame(parser.width() * parser.height() * 4);
    for (auto _ : state) {
        for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
            if (!parser.decodeFrameAtIndex(i, frame.data(), frame.size(), &error)) {
                state.SkipWithError(error.localizedDescription.c_str());
                return;
            }
            benchmark::DoNotOptimize(frame.data());
        }
        benchmark::ClobberMemory();
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(parser.numFrames()), benchmark::Counter::kIsIterationInvariantRate);
}

// The host's side: the reader, its track, and a decoder for the track.
struct ExtensionPipeline {
    MEFormatReaderRef reader;
    METrackReaderRef track;
    MEVideoDecoderRef decoder;
    std::shared_ptr<MEVideoDecoderPixelBufferManager> manager = std::make_shared<MEVideoDecoderPixelBufferManager>();
    std::uint64_t frames = 0;
    std::string failure;

    explicit ExtensionPipeline(const std::filesystem::path& file) {
        auto& registry = ExtensionRegistry::shared();
        auto readerFactory = registry.formatReaderForTypeIdentifier("com.amiga.anim");
        auto decoderFactory = registry.videoDecoderForCodecType(makeFourCharCode("ILBM"));
        if (!readerFactory || !decoderFactory) {
            failure = "extensions not loaded";
            return;
        }
        Error error;
        reader = readerFactory->formatReaderWithByteSource(FileByteSource::open(file, nullptr), {}, &error);
        if (!reader) {
            failure = error.localizedDescription;
            return;
        }
        reader->loadTrackReadersWithCompletionHandler(
            [&](std::vector<METrackReaderRef> tracks, const Error*) { track = tracks.at(0); });
        VideoFormatDescriptionRef description;
        track->loadTrackInfoWithCompletionHandler(
            [&](METrackInfoRef info, const Error*) { description = info->formatDescriptions().at(0); });
        decoder = decoderFactory->videoDecoderWithCodecType(makeFourCharCode("ILBM"), description, {}, manager, &error);
        if (!decoder) failure = "no decoder";
    }
};

void BM_Extensions(benchmark::State& state, std::filesystem::path file) {
    ExtensionPipeline pipeline(file);
    if (!pipeline.failure.empty()) {
        state.SkipWithError(pipeline.failure.c_str());
        return;
    }
    std::uint64_t frames = 0;
    for (auto _ : state) {
        SampleWalker walker(pipeline.track);
        std::vector<SampleTime> times;
        if (!walker.listSampleTimes(&times, nullptr)) {
            state.SkipWithError("the track could not be walked");
            return;
        }
        for (frames = 0; frames < times.size(); ++frames) {
            const SampleBufferRef sample = walker.loadSample(frames, nullptr);
            const PixelBufferRef picture = sample ? decodeSample(*pipeline.decoder, sample, nullptr) : nullptr;
            if (!picture) {
                state.SkipWithError("a frame failed");
                return;
            }
            benchmark::DoNotOptimize(picture.get());
        }
        benchmark::ClobberMemory();
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsIterationInvariantRate);
}

void registerBenchmarks() {
    Error error;
    if (!registerFormatReaders(&error) || !registerVideoDecoders(&error)) {
        std::fprintf(stderr, "Extensions not found (%s): nothing to measure\n", error.localizedDescription.c_str());
        return;
    }
    const std::filesystem::path anim = std::filesystem::path(VELARIUM_CORPUS_DIR) / "anim";
    for (const char* folder : kCorpusFolders) {
        if (!std::filesystem::is_directory(anim / folder)) continue;
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(anim / folder))
            if (entry.path().extension() == ".anim") files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            const std::string name = file.filename().string();
            benchmark::RegisterBenchmark(("BM_Core/" + name).c_str(), BM_Core, file)->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("BM_Extensions/" + name).c_str(), BM_Extensions, file)
                ->Unit(benchmark::kMillisecond);
        }
    }
}

}  // namespace
}  // namespace velarium

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    velarium::registerBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
