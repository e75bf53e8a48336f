// velarium-tool frames: file names, PNG contents, raw BGRA files and the
// standard-output stream, checked against the decoder and the corpus hashes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "core/ANIMParser.h"
#include "support/Corpus.h"
#include "support/Hashing.h"
#include "support/IFFWriter.h"
#include "tools/PNGReader.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

using testing::runTool;
using testing::TemporaryFolder;

const std::string kDemo = VELARIUM_DEMO_FILE;
constexpr std::size_t kBytesPerPixel = 4;

std::vector<std::string> sortedNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> expectedNames(std::uint64_t first, std::uint64_t end, int digits, const char* extension) {
    std::vector<std::string> names;
    for (std::uint64_t i = first; i < end; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "frame_%0*llu.%s", digits, static_cast<unsigned long long>(i), extension);
        names.push_back(name);
    }
    return names;
}

struct DecodedAnimation {
    std::uint64_t width = 0, height = 0;
    std::vector<Bytes> frames;  // BGRA
};

DecodedAnimation decodeWithParser(const std::filesystem::path& path) {
    ANIMParser parser(makeSharedBytes(testing::readFileBytes(path)));
    DecodedAnimation result;
    if (!parser.parseWithError(nullptr)) return result;
    result.width = parser.width();
    result.height = parser.height();
    for (std::uint64_t i = 0; i < parser.numFrames(); ++i) result.frames.push_back(*parser.decodeFrameAtIndex(i, nullptr));
    return result;
}

TEST(ToolFrames, WritesEveryDemoFrameAsAnRGBAPNGNamedInFrameOrder) {
    TemporaryFolder folder;
    const auto output = folder / "nested" / "frames";  // created, parents too
    const auto run = runTool({"frames", kDemo, "-o", output.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(run.standardError, "");

    const DecodedAnimation expected = decodeWithParser(kDemo);
    ASSERT_EQ(sortedNames(output), expectedNames(0, expected.frames.size(), 4, "png"));
    for (std::size_t i = 0; i < expected.frames.size(); ++i) {
        SCOPED_TRACE(i);
        const auto png = testing::readPNG((output / expectedNames(i, i + 1, 4, "png")[0]).string());
        ASSERT_TRUE(png.ok) << png.message;
        EXPECT_TRUE(png.storedAsRGBA);
        ASSERT_EQ(png.width, expected.width);
        ASSERT_EQ(png.height, expected.height);
        // The PNG holds the decoder's picture with blue and red exchanged.
        const Bytes& bgra = expected.frames[i];
        std::size_t differing = 0;
        for (std::size_t p = 0; p < bgra.size(); p += kBytesPerPixel)
            if (png.rgba[p] != bgra[p + 2] || png.rgba[p + 1] != bgra[p + 1] || png.rgba[p + 2] != bgra[p] ||
                png.rgba[p + 3] != bgra[p + 3])
                ++differing;
        EXPECT_EQ(differing, 0u);
    }
}

// Raw BGRA files, of the frames that --from and --count choose.
TEST(ToolFrames, FromAndCountChooseTheFramesWritten) {
    struct Case {
        std::vector<std::string> options;
        std::uint64_t first, end;
    };
    const std::vector<Case> cases = {
        {{"--from", "3", "--count", "2"}, 3, 5},
        {{"--from", "30"}, 30, 36},
        {{"--from", "33", "--count", "100"}, 33, 36},  // a count past the end stops at the last frame
        {{"--count", "1"}, 0, 1},
        {{"--from", "35"}, 35, 36},
    };
    const DecodedAnimation demo = decodeWithParser(kDemo);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        TemporaryFolder folder;
        std::vector<std::string> arguments = {"frames", kDemo, "-o", folder.path().string(), "--format", "bgra"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const auto run = runTool(arguments);
        ASSERT_EQ(run.exitStatus, 0) << run.standardError;
        EXPECT_EQ(sortedNames(folder.path()), expectedNames(c.first, c.end, 4, "bgra"));
        for (std::uint64_t i = c.first; i < c.end; ++i) {
            const std::string bytes = testing::readWholeFile(folder / expectedNames(i, i + 1, 4, "bgra")[0]);
            EXPECT_TRUE(bytes == std::string(demo.frames[i].begin(), demo.frames[i].end())) << "frame " << i;
        }
    }
}

TEST(ToolFrames, IndexDigitsGrowWithTheFrameCount) {
    // 10001 frames: the last index has five digits, so every name has five.
    using namespace testing;
    std::vector<ByteVector> frames = {form("ILBM", {bmhd({}), cmap({0x000000, 0xFFFFFF}), chunk("BODY", {0x80, 0})})};
    for (int i = 1; i < 10001; ++i) frames.push_back(form("ILBM", {anhd({5, 1, 0, 0})}));
    const ByteVector file = animFile(frames);
    TemporaryFolder folder;
    folder.write("long.anim", file);

    const auto output = folder / "out";
    const auto run = runTool({"frames", (folder / "long.anim").string(), "-o", output.string(), "--from", "9998"});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_EQ(sortedNames(output), expectedNames(9998, 10001, 5, "png"));
}

// Standard output carries all frames back to back, width × height × 4 bytes each.
TEST(ToolFrames, StandardOutputStreamIsEveryFrameBackToBack) {
    const auto run = runTool({"frames", kDemo, "-o", "-", "--format", "bgra"});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_EQ(run.standardError, "");
    const DecodedAnimation expected = decodeWithParser(kDemo);
    std::string all;
    for (const Bytes& frame : expected.frames) all.append(frame.begin(), frame.end());
    ASSERT_EQ(run.standardOutput.size(), 320u * 200u * kBytesPerPixel * 36u);
    EXPECT_TRUE(run.standardOutput == all);

    const auto part = runTool({"frames", kDemo, "-o", "-", "--format", "bgra", "--from", "35"});
    ASSERT_EQ(part.exitStatus, 0) << part.standardError;
    EXPECT_TRUE(part.standardOutput == std::string(expected.frames[35].begin(), expected.frames[35].end()));
}

// Every corpus frame that comes out of the tool has the hash that established decoders agree on.
TEST(ToolFrames, StandardOutputMatchesTheCorpusHashes) {
    for (const auto& animation : testing::corpusAnimations()) {
        SCOPED_TRACE(animation.name);
        const auto hashes = testing::readLines(animation.expectedHashes);
        ANIMParser parser(makeSharedBytes(testing::readFileBytes(animation.file)));
        ASSERT_TRUE(parser.parseWithError(nullptr));
        const std::size_t frameBytes = parser.width() * parser.height() * kBytesPerPixel;

        const auto run = runTool({"frames", animation.file.string(), "-o", "-", "--format", "bgra"});
        ASSERT_EQ(run.exitStatus, 0) << run.standardError;
        ASSERT_EQ(run.standardOutput.size(), frameBytes * hashes.size());
        for (std::size_t i = 0; i < hashes.size(); ++i) {
            const auto* frame = reinterpret_cast<const std::uint8_t*>(run.standardOutput.data()) + i * frameBytes;
            EXPECT_EQ(testing::sha256Hex(frame, frameBytes), hashes[i].substr(0, 64)) << "frame " << i;
        }
    }
}

}  // namespace
}  // namespace velarium
