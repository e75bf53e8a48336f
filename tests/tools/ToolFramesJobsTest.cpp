// velarium-tool frames --jobs: several workers give exactly the frames, the
// files and the failures of one.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/ANIMParser.h"
#include "support/Corpus.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

using testing::runTool;
using testing::TemporaryFolder;

const std::string kDemo = VELARIUM_DEMO_FILE;  // 36 frames
constexpr std::uint64_t kMaxStreamBytes = 16 << 20;

std::string stream(const std::string& file, const std::string& jobs, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> arguments = {"frames", file, "-o", "-", "--format", "bgra", "--jobs", jobs};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const auto run = runTool(arguments);
    EXPECT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_EQ(run.standardError, "");
    return run.standardOutput;
}

// Ranges where the workers' shares differ in length, start on either
// worker, or leave a worker with nothing at all.
TEST(ToolFramesJobs, WorkersGiveTheSameStreamAsOne) {
    const std::vector<std::vector<std::string>> ranges = {
        {}, {"--from", "3", "--count", "7"}, {"--from", "34"}, {"--from", "35"}, {"--count", "2"}};
    for (const auto& range : ranges) {
        SCOPED_TRACE(::testing::PrintToString(range));
        const std::string one = stream(kDemo, "1", range);
        ASSERT_FALSE(one.empty());
        for (const char* jobs : {"2", "3", "16"}) EXPECT_TRUE(stream(kDemo, jobs, range) == one) << jobs << " jobs";
    }
}

// Every small corpus animation: interleaved deltas, keyframes part way,
// palette changes, HAM, odd widths.
TEST(ToolFramesJobs, CorpusStreamsMatchWithTwoWorkers) {
    std::size_t compared = 0;
    for (const auto& animation : testing::corpusAnimations()) {
        ANIMParser parser(makeSharedBytes(testing::readFileBytes(animation.file)));
        if (!parser.parseWithError(nullptr) ||
            parser.width() * parser.height() * 4 * parser.numFrames() > kMaxStreamBytes)
            continue;
        SCOPED_TRACE(animation.name);
        EXPECT_TRUE(stream(animation.file.string(), "2") == stream(animation.file.string(), "1"));
        ++compared;
    }
    if (compared == 0) GTEST_SKIP() << "no corpus";
}

TEST(ToolFramesJobs, WorkersWriteTheSamePNGFiles) {
    TemporaryFolder one, two;
    for (const auto& [folder, jobs] : {std::pair{&one, "1"}, std::pair{&two, "2"}}) {
        const auto run = runTool({"frames", kDemo, "-o", folder->path().string(), "--jobs", jobs, "--count", "9"});
        ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    }
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(one.path())) {
        const auto name = entry.path().filename().string();
        EXPECT_TRUE(testing::readWholeFile(entry.path()) == testing::readWholeFile(two / name)) << name;
        ++files;
    }
    EXPECT_EQ(files, 9u);
}

// A frame that cannot be written stops the export there, with the same one
// line whatever the number of workers, and nothing after it is written.
TEST(ToolFramesJobs, AWriteFailureStopsAtThatFrame) {
    for (const char* jobs : {"1", "2", "3"}) {
        SCOPED_TRACE(jobs);
        TemporaryFolder folder;
        std::filesystem::create_directory(folder / "frame_0005.bgra");  // in the way of frame 5's file
        const auto run =
            runTool({"frames", kDemo, "-o", folder.path().string(), "--format", "bgra", "--jobs", jobs});
        EXPECT_EQ(run.exitStatus, 1);
        const auto lines = run.errorLines();
        ASSERT_EQ(lines.size(), 1u) << run.standardError;
        const std::string blocked = (folder / "frame_0005.bgra").string();
        EXPECT_NE(lines[0].find("Cannot write " + blocked), std::string::npos) << lines[0];
        for (int i = 0; i < 5; ++i)
            EXPECT_TRUE(std::filesystem::is_regular_file(folder / ("frame_000" + std::to_string(i) + ".bgra"))) << i;
        EXPECT_FALSE(std::filesystem::exists(folder / "frame_0006.bgra"));
    }
}

TEST(ToolFramesJobs, JobsMustBeOneToSixteen) {
    for (const char* jobs : {"0", "17", "two", "-1"}) {
        const auto run = runTool({"frames", kDemo, "-o", "-", "--format", "bgra", "--jobs", jobs});
        EXPECT_EQ(run.exitStatus, 2) << jobs;
        EXPECT_NE(run.standardError.find("--jobs"), std::string::npos) << run.standardError;
        EXPECT_EQ(run.standardOutput, "");
    }
}

}  // namespace
}  // namespace velarium
