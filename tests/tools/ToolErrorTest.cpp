// velarium-tool on bad input and bad command lines: one clear line on
// standard error, a non-zero exit status, and never a crash.
#include <gtest/gtest.h>

#include "support/IFFWriter.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

using namespace testing;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

class ToolErrors : public ::testing::Test {
protected:
    template <typename Bytes>
    std::string file(const std::string& name, const Bytes& bytes) {
        return folder_.write(name, bytes).string();
    }

    TemporaryFolder folder_;
    const std::string out = (folder_ / "out").string();  // a folder for frames, never made
};

TEST_F(ToolErrors, UnusableFilesGiveOneLineFromTheErrorRecord) {
    const std::string big = file("big.anim", std::string("FORM\0\0\0\0ANIM", 12));
    std::filesystem::resize_file(big, 100 * 1024 * 1024 + 1);  // sparse: costs no disk
    // `frames` and `play` open files through the format reader extension,
    // which words some of these failures its own way.
    const struct {
        std::string name, file, message, extensionMessage = {};
    } cases[] = {
        {"missing", (folder_ / "no-such.anim").string(), "Cannot read the file: No such file or directory"},
        {"folder", folder_.path().string(), "Cannot read the file: Is a directory"},
        {"empty", file("empty.anim", ""), "File too small", "Invalid file size"},
        {"eleven bytes", file("short.anim", std::string("FORM\0\0\0\x04" "ANI", 11)), "File too small"},
        {"text", file("notes.txt", "These are not the frames you are looking for.\n"), "Not an IFF ANIM file"},
        {"plain ILBM", file("picture.iff", form("ILBM", {bmhd({}), chunk("BODY", {0, 0})})), "Not an IFF ANIM file"},
        {"no FORM ILBM", file("noframes.anim", form("ANIM", {chunk("NAME", {'x', 'y'})})), "No frames found",
         "Failed to parse ANIM file"},
        {"over 100 MiB", big, "larger than 100 MiB", "Invalid file size"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string& viaExtension = c.extensionMessage.empty() ? c.message : c.extensionMessage;
        expectOneErrorLine(runTool({"info", c.file}), kFailure, c.file, c.message);
        expectOneErrorLine(runTool({"frames", c.file, "-o", out}), kFailure, c.file, viaExtension);
        expectOneErrorLine(runTool({"play", c.file}), kFailure, c.file, viaExtension);
    }
}

TEST_F(ToolErrors, AnEmptyPictureHasFactsButNoFrames) {
    // A BMHD of 0 × 0 pixels, and a file without any BMHD.
    for (const ByteVector& bytes : {animFile({form("ILBM", {bmhd({0, 0, 1}), chunk("BODY", {})})}),
                                    animFile({form("ILBM", {anhd({})})})}) {
        const std::string anim = file("empty-picture.anim", bytes);
        const auto info = runTool({"info", anim});
        EXPECT_EQ(info.exitStatus, 0) << info.standardError;
        EXPECT_NE(info.standardOutput.find("Size:            0 x 0 pixels"), std::string::npos) << info.standardOutput;
        expectOneErrorLine(runTool({"frames", anim, "-o", out}), kFailure, anim, "picture is empty (0 x 0 pixels)");
    }
}

TEST_F(ToolErrors, FramesOutsideTheAnimationOrUnwritableOutputFail) {
    const std::string blocker = file("blocker", "a file where a folder should be");
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"frames", kDemo, "-o", out, "--from", "36"}, "--from 36 is past the last frame (35)"},
        {{"frames", kDemo, "-o", "-", "--format", "bgra", "--from", "99999999999999999999"}, "past the last frame"},
        {{"frames", kDemo, "-o", blocker}, "Cannot create the folder " + blocker},
        {{"frames", kDemo, "-o", blocker + "/below"}, "Cannot create the folder " + blocker + "/below"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        expectOneErrorLine(runTool(c.arguments), kFailure, kDemo, c.message);
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

// Mistakes give one line that names the mistake and points at the help; a
// command without its file shows its usage.
TEST_F(ToolErrors, CommandLineMistakesAreUsageErrors) {
    const std::string usage = "Usage: velarium-tool";
    const auto jobs = [&](const char* n) { return std::vector<std::string>{"frames", kDemo, "-o", out, "--jobs", n}; };
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"play", kDemo, "--speed", "2"}, "--speed"},
        {{"info", kDemo, "--colour"}, "--colour"},
        {{"frames", kDemo}, "needs -o"},
        {{"frames", kDemo, "-o", "-"}, "only --format bgra"},  // PNG cannot go to standard output
        {{"frames", kDemo, "-o", out, "--format", "gif"}, "--format: gif"},
        {{"frames", kDemo, "-o", out, "--from", "-1"}, "--from"},
        {{"frames", kDemo, "-o", out, "--count", "0"}, "--count"},
        {{"frames", kDemo, "-o", out, "--count", "two"}, "--count"},
        {jobs("0"), "--jobs"}, {jobs("17"), "--jobs"}, {jobs("two"), "--jobs"}, {jobs("-1"), "--jobs"},
        {{}, usage},
        {{"info"}, usage},
        {{"frames", "-o", out}, usage},
    };
    for (const auto& [arguments, text] : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const auto run = runTool(arguments);
        EXPECT_EQ(run.exitStatus, kUsage);
        EXPECT_NE(run.standardError.find(text), std::string::npos) << run.standardError;
        EXPECT_EQ(run.standardOutput, "");
        if (text == usage) continue;
        EXPECT_EQ(run.errorLines().size(), 1u) << run.standardError;
        EXPECT_NE(run.standardError.find("(see velarium-tool --help)"), std::string::npos);
    }
    const auto help = runTool({"frames", "--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.standardOutput.find("Usage: velarium-tool frames"), std::string::npos) << help.standardOutput;
}

// Cut and damaged copies of the demo: whatever happens, the tool ends
// normally, and either succeeds quietly or fails with exactly one line.
TEST_F(ToolErrors, DamagedFilesNeverCrashTheTool) {
    const std::string demo = readWholeFile(kDemo);
    std::vector<std::string> damaged;
    for (std::size_t length : {12ul, 20ul, 47ul, 60ul, 400ul, 5001ul, demo.size() / 2, demo.size() - 1})
        damaged.push_back(demo.substr(0, length));
    damaged.push_back(demo);
    damaged.back()[16] = '\x7F';  // the first ILBM claims to be nearly 2 GB long
    damaged.push_back(demo);
    const std::size_t bmhd = demo.find("BMHD");
    damaged.back().replace(bmhd + 8, 4, "\xFF\xFF\xFF\xFF");
    damaged.back()[bmhd + 16] = '\x08';  // 65535 × 65535 pixels, 8 planes

    for (std::size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE("damaged file " + std::to_string(i));
        const std::string anim = file("damaged.anim", damaged[i]);
        for (const auto& arguments : std::vector<std::vector<std::string>>{
                 {"info", anim}, {"info", "--json", anim}, {"frames", anim, "-o", "-", "--format", "bgra"}}) {
            const auto run = runTool(arguments);
            ASSERT_TRUE(run.exitedNormally) << arguments[0];
            EXPECT_TRUE(run.exitStatus == 0 || run.exitStatus == kFailure) << run.exitStatus;
            EXPECT_EQ(run.errorLines().size(), run.exitStatus == 0 ? 0u : 1u) << run.standardError;
        }
    }
}

}  // namespace
}  // namespace velarium
