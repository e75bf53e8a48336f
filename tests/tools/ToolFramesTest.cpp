// velarium-tool frames (file names, PNG contents, raw BGRA files and the
// standard-output stream, with one worker or several, checked against the
// decoder and the corpus hashes; a write failure) and play; the bundled demo.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>

#include "core/ANIMParser.h"
#include "support/Corpus.h"
#include "support/Hashing.h"
#include "support/SyntheticAnimations.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

using namespace testing;

// The names of frames `first` up to `end`: frame_0007.png.
std::vector<std::string> frameNames(std::uint64_t first, std::uint64_t end, const char* extension, int digits = 4) {
    std::vector<std::string> names;
    for (char name[64]; first < end; ++first) {
        std::snprintf(name, sizeof name, "frame_%0*llu.%s", digits, static_cast<unsigned long long>(first), extension);
        names.push_back(name);
    }
    return names;
}
std::string frameName(std::uint64_t index, const char* extension) { return frameNames(index, index + 1, extension)[0]; }

// The demo's frames as the decoding core gives them, BGRA.
const std::vector<std::string>& demoFrames() {
    static const std::vector<std::string> frames = [] {
        ANIMParser parser(makeSharedBytes(readFileBytes(kDemo)));
        std::vector<std::string> out;
        if (!parser.parseWithError(nullptr)) return out;
        for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
            const auto frame = parser.decodeFrameAtIndex(i, nullptr);
            out.emplace_back(frame->begin(), frame->end());
        }
        return out;
    }();
    return frames;
}

TEST(ToolFrames, WritesEveryDemoFrameAsAnRGBAPNGNamedInFrameOrder) {
    TemporaryFolder folder;
    const auto output = folder / "nested" / "frames";  // created, parents too
    const auto run = runTool({"frames", kDemo, "-o", output.string(), "--jobs", "2"});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_EQ(run.standardOutput + run.standardError, "");
    ASSERT_EQ(filesIn(output), frameNames(0, demoFrames().size(), "png"));
    for (std::size_t i = 0; i < demoFrames().size(); ++i) {
        SCOPED_TRACE(i);
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&png, (output / frameName(i, "png")).c_str())) << png.message;
        EXPECT_EQ(png.format, PNG_FORMAT_RGBA) << "8-bit RGBA in the file itself";
        png.format = PNG_FORMAT_BGRA;  // read back so, it is the decoder's picture
        std::string bgra(PNG_IMAGE_SIZE(png), '\0');
        ASSERT_TRUE(png_image_finish_read(&png, nullptr, bgra.data(), 0, nullptr)) << png.message;
        EXPECT_TRUE(bgra == demoFrames()[i]);
    }
}

// Raw BGRA files of the frames --from and --count choose, with worker counts
// whose shares differ in length, start on either worker, or leave one idle.
TEST(ToolFrames, FromAndCountChooseTheFramesWritten) {
    const struct {
        std::vector<std::string> options;
        std::uint64_t first, end;
    } cases[] = {
        {{"--from", "3", "--count", "7", "--jobs", "2"}, 3, 10},
        {{"--from", "30", "--jobs", "3"}, 30, 36},
        {{"--from", "33", "--count", "100", "--jobs", "16"}, 33, 36},  // a count past the end stops at the last frame
        {{"--count", "2", "--jobs", "3"}, 0, 2},
        {{"--from", "35", "--jobs", "2"}, 35, 36},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        TemporaryFolder folder;
        std::vector<std::string> arguments = {"frames", kDemo, "-o", folder.path().string(), "--format", "bgra"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const auto run = runTool(arguments);
        ASSERT_EQ(run.exitStatus, 0) << run.standardError;
        EXPECT_EQ(filesIn(folder.path()), frameNames(c.first, c.end, "bgra"));
        for (std::uint64_t i = c.first; i < c.end; ++i)
            EXPECT_TRUE(readWholeFile(folder / frameName(i, "bgra")) == demoFrames()[i]) << "frame " << i;
    }
}

TEST(ToolFrames, IndexDigitsGrowWithTheFrameCount) {
    // 10001 frames: the last index has five digits, so every name has five.
    std::vector<ByteVector> frames = {form("ILBM", {bmhd({}), cmap({0x000000, 0xFFFFFF}), chunk("BODY", {0x80, 0})})};
    frames.resize(10001, form("ILBM", {anhd({5, 1, 0, 0})}));
    TemporaryFolder folder;
    const auto file = folder.write("long.anim", animFile(frames));
    const auto run = runTool({"frames", file.string(), "-o", (folder / "out").string(), "--from", "9998"});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_EQ(filesIn(folder / "out"), frameNames(9998, 10001, "png", 5));
}

// Every frame back to back, each with the hash established decoders agree on
// (the core's for the demo, read from a copy whose name no extension claims).
// Two workers each skip every other frame's conversion but must still go
// through all of its deltas.
TEST(ToolFrames, StandardOutputIsEveryFrameBackToBack) {
    TemporaryFolder folder;
    std::vector<std::pair<std::string, std::vector<std::string>>> animations(1);
    animations[0].first = folder.write("WALK", readWholeFile(kDemo)).string();
    for (const std::string& frame : demoFrames())
        animations[0].second.push_back(sha256Hex(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size()));
    for (const auto& animation : corpusAnimations())
        animations.emplace_back(animation.file.string(), readLines(animation.expectedHashes));
    for (const auto& [file, hashes] : animations) {
        SCOPED_TRACE(file);
        const auto run = runTool({"frames", file, "-o", "-", "--format", "bgra", "--jobs", "2"});
        ASSERT_EQ(run.exitStatus, 0) << run.standardError;
        EXPECT_EQ(run.standardError, "");
        ASSERT_EQ(run.standardOutput.size() % hashes.size(), 0u);
        const std::size_t frameBytes = run.standardOutput.size() / hashes.size();
        for (std::size_t i = 0; i < hashes.size(); ++i) {
            const auto* frame = reinterpret_cast<const std::uint8_t*>(run.standardOutput.data()) + i * frameBytes;
            EXPECT_EQ(sha256Hex(frame, frameBytes), hashes[i].substr(0, 64)) << "frame " << i;
        }
    }
}

// --cycle-at: every frame as the decoding core turns its colour map at that
// time (checked by pixels on its own); at 0 s, the frames as stored.
TEST(ToolFrames, CycleAtWritesEachFrameWithItsRangesTurned) {
    if (!haveCorpus()) GTEST_SKIP() << "corpus not present";
    for (const auto& animation : corpusAnimations({"amospro_Bug.anim", "pydpainter_color-balls.anim"})) {
        SCOPED_TRACE(animation.name);
        ANIMParser parser(makeSharedBytes(readFileBytes(animation.file)));
        ASSERT_TRUE(parser.parseWithError(nullptr));
        const MediaTime t = MediaTime::make(2345, 1000);
        const auto cycled = runTool({"frames", animation.file.string(), "-o", "-", "--format", "bgra", "--jobs", "2",
                                     "--cycle-at", "2.345"});
        ASSERT_EQ(cycled.exitStatus, 0) << cycled.standardError;
        const std::size_t frameBytes = parser.width() * parser.height() * 4;
        ASSERT_EQ(cycled.standardOutput.size(), frameBytes * parser.numFrames());
        std::size_t changed = 0;
        for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
            Bytes still(frameBytes), want(frameBytes);
            ASSERT_TRUE(parser.decodeFrameAtIndex(i, still, nullptr));
            ASSERT_TRUE(parser.decodeFrameAtIndex(i, t, want.data(), want.size(), nullptr));
            EXPECT_TRUE(cycled.standardOutput.compare(i * frameBytes, frameBytes,
                                                      std::string(want.begin(), want.end())) == 0) << "frame " << i;
            changed += want != still;
        }
        EXPECT_EQ(changed, parser.numFrames());

        const auto start =
            runTool({"frames", animation.file.string(), "-o", "-", "--format", "bgra", "--cycle-at", "0"});
        const auto hashes = readLines(animation.expectedHashes);
        ASSERT_EQ(start.standardOutput.size(), frameBytes * hashes.size());
        for (std::size_t i = 0; i < hashes.size(); ++i)
            EXPECT_EQ(sha256Hex(reinterpret_cast<const std::uint8_t*>(start.standardOutput.data()) + i * frameBytes,
                                frameBytes), hashes[i].substr(0, 64)) << "frame " << i;
    }
}

// A frame that cannot be written stops the export there, with the same one
// line whatever the number of workers, and nothing after it is written.
TEST(ToolFrames, AWriteFailureStopsAtThatFrame) {
    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(jobs);
        TemporaryFolder folder;
        const auto blocked = folder / frameName(5, "bgra");
        std::filesystem::create_directory(blocked);  // in the way of frame 5's file
        const auto run = runTool({"frames", kDemo, "-o", folder.path().string(), "--format", "bgra", "--jobs", jobs});
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.standardOutput, "");
        EXPECT_EQ(run.errorLines(), std::vector<std::string>{"velarium-tool: " + kDemo + ": Cannot write " +
                                                             blocked.string() + ": Is a directory"});
        EXPECT_EQ(filesIn(folder.path()), frameNames(0, 6, "bgra"));
    }
}

// What play must print in virtual time, whatever the file's name: every
// frame at its presentation time, then the summary.
std::vector<std::string> expectedPlayOutput(const std::string& file) {
    ANIMParser parser(makeSharedBytes(readFileBytes(file)));
    EXPECT_TRUE(parser.parseWithError(nullptr));
    const auto frames = static_cast<unsigned long long>(parser.numFrames());
    const double seconds = parser.totalDuration().seconds();
    std::vector<std::string> out;
    char line[160];
    for (unsigned long long i = 0; i < frames; ++i) {
        std::snprintf(line, sizeof line, "frame %llu at %.3f s", i, parser.frameAtIndex(i).presentationTime.seconds());
        out.push_back(line);
    }
    std::snprintf(line, sizeof line, "%llu frames shown, 0 late, 0 dropped; total time %.3f s (movie %.3f s)", frames,
                  seconds, seconds);
    out.push_back(line);
    return out;
}

TEST(ToolPlay, VirtualClockPrintsEveryFrameAtItsTimeAndASummary) {
    TemporaryFolder folder;
    std::vector<std::string> files = {kDemo};
    // The tool reads every file as an ANIM, whatever its name.
    for (const char* name : {"walk.iff", "WALK", "Walk.Anim"})
        files.push_back(folder.write(name, readWholeFile(kDemo)).string());
    for (const auto& anim : corpusAnimations({"op5_noanhd_dpan_100x30_p2_f24_il0.anim", "amospro_jbb_2_Boost.anim"}))
        files.push_back(anim.file.string());
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        const auto run = runTool({"play", file, "--virtual-clock"});
        EXPECT_EQ(run.exitStatus, 0) << run.standardError;
        EXPECT_EQ(run.standardError, "");
        EXPECT_EQ(splitLines(run.standardOutput), expectedPlayOutput(file));
    }
}

TEST(ToolPlay, RealClockTakesAsLongAsTheAnimation) {
    TemporaryFolder folder;
    const auto file = folder.write("short.anim", syntheticAnimation({.ticks = {3, 3, 3, 3}}));  // 0.2 s

    const auto run = runTool({"play", file.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    // On a busy machine a frame may come too late to be shown and is dropped;
    // the last frame is always shown, and the whole takes the animation's time.
    const auto out = splitLines(run.standardOutput);
    ASSERT_GE(out.size(), 2u) << run.standardOutput;
    EXPECT_EQ(out[out.size() - 2].rfind("frame 3 at 0.150 s", 0), 0u) << run.standardOutput;
    unsigned shown = 0, late = 0, dropped = 0;
    double total = 0, movie = 0;
    ASSERT_EQ(std::sscanf(out.back().c_str(), "%u frames shown, %u late, %u dropped; total time %lf s (movie %lf s)",
                          &shown, &late, &dropped, &total, &movie),
              5)
        << out.back();
    EXPECT_EQ(shown, out.size() - 1);
    EXPECT_EQ(shown + dropped, 4u);
    EXPECT_DOUBLE_EQ(movie, 0.2);
    EXPECT_GE(total, 0.2);
    EXPECT_LT(total, 2.0);
}


// The bundled demo: what its generator writes today, small and moving. (Its
// size and length are checked with velarium-tool info.)
TEST(DemoAnimation, CommittedFileIsTheGeneratorsOutput) {
    TemporaryFolder folder;
    const auto generated = folder / "demo.anim";
    const auto run = runProgram(VELARIUM_DEMO_GENERATOR_PATH, {generated.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_TRUE(readWholeFile(generated) == readWholeFile(kDemo))
        << "demo/velarium-demo.anim is out of date: regenerate it (see demo/make_demo.cpp)";
}

TEST(DemoAnimation, IsSmallAndMoving) {
    EXPECT_LT(readFileBytes(kDemo).size(), 200u * 1024u);
    ASSERT_FALSE(demoFrames().empty());
    for (std::size_t i = 1; i < demoFrames().size(); ++i) {
        const std::string &picture = demoFrames()[i], &previous = demoFrames()[i - 1];
        std::size_t changed = 0;
        for (std::size_t p = 0; p < picture.size(); p += 4) changed += picture.compare(p, 3, previous, p, 3) != 0;
        EXPECT_GT(changed, picture.size() / 4 / 2) << "too little changes from frame " << i - 1 << " to " << i;
    }
}

}  // namespace
}  // namespace velarium
