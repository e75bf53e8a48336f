// velarium-tool extract: the report, the exit status, files already there,
// the default folder, the JSON object, names escaped for the terminal, and
// the progress bar that only a terminal gets.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "support/LHAArchives.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace testing;

class ToolExtract : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    }
    std::string corpus(const std::string& name) const { return (lhaCorpusDir() / name).string(); }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    TemporaryFolder folder_;
};

// A file "top.anim" is in the destination first (or a folder where a file
// goes, or a file "tmp" where badterm.lzh's one entry, "/tmp/" ESC
// "]2;malicious" BEL LF, needs a folder): files already there are left alone
// and named unless --force lets intact copies replace them; each failure
// says why, with control characters escaped.
TEST_F(ToolExtract, ReportsWhatWasNotExtractedAndExitsByTheOutcome) {
    const std::string anims = "Animations:\n  Anims/Walk/x.anim\n  Anims/Run/y.anim\n";
    struct Case {
        std::string archive;
        int exitStatus, extracted;
        std::string report;  // after "Extracted N entries into FOLDER"
        std::string option = {}, existing = "top.anim";
    } const cases[] = {
        {"crafted/decode_fail.lzh", 2, 2,
         "Not extracted:\n  ok1.txt: a folder of that name is in the way\n  unknown_method.bin: unsupported compression "
         "method\n  garbage_lh5.bin: decoding or checksum failed\n  short_data.bin: decoding or checksum failed\n",
         "", "ok1.txt/"},
        {"crafted/symlinks_only.lzh", 2, 0,
         "Symbolic links, not extracted:\n  link0\n  sub/link1\n  link2\n  Anims/walk_link\n  evil_link\n  dirlink\n"},
        {"crafted/broken_l2_header_crc.lzh", 2, 2,
         "The archive is damaged: entries after second.anim are missing.\nAnimations:\n  second.anim\n"},
        {"crafted/anims_l2.lzh", 2, 10, "Already there, left alone (--force replaces them):\n  top.anim\n" + anims},
        {"crafted/anims_l2.lzh", 0, 11, anims + "  top.anim\n", "--force"},
        {"real/archives/regression/badterm.lzh", 2, 0,
         "Not extracted:\n  tmp/\\x1b]2;malicious\\x07\\x0a: a file stands where a folder is needed\n", "", "tmp"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive + " " + c.option);
        const std::string destination = path("out" + std::to_string(++n));
        fs::create_directories(destination);
        if (c.existing.back() == '/') fs::create_directory(destination + "/" + c.existing);
        else std::ofstream(destination + "/" + c.existing) << "mine";
        std::vector<std::string> arguments = {"extract", corpus(c.archive), "-o", destination};
        if (!c.option.empty()) arguments.push_back(c.option);
        const ProgramRun run = runTool(arguments);
        EXPECT_EQ(run.exitStatus, c.exitStatus);
        EXPECT_EQ(run.standardError, "") << "no progress bar without a terminal";
        EXPECT_EQ(run.standardOutput, "Extracted " + std::to_string(c.extracted) + " entries into " + destination + "\n" + c.report);
        EXPECT_TRUE(c.existing.back() == '/' || (readFileBytes(destination + "/" + c.existing).size() == 4) == c.option.empty())
            << "it was \"mine\"";
    }
}

TEST_F(ToolExtract, NothingDoneGivesOneLineAndStatusOne) {
    std::ofstream(path("taken")) << "a file where the folder should go";
    struct Case {
        std::vector<std::string> arguments;
        std::string line;
    } const cases[] = {
        {{"extract", corpus("crafted/text.lha"), "-o", path("out")},
         "velarium-tool: " + corpus("crafted/text.lha") +
             ": The archive could not be read. “text.lha” is not an LHA archive, or it is damaged."},
        {{"extract", corpus("jlha/multi_lh5_l2.lzh"), "-o", path("taken")},
         "velarium-tool: " + path("taken") +
             ": The folder could not be created. A file named “taken” already exists there. Choose a different "
             "name for the folder."},
    };
    for (const Case& c : cases) {
        const ProgramRun run = runTool(c.arguments);
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.standardOutput, "");
        EXPECT_EQ(run.errorLines(), std::vector<std::string>{c.line});
    }
    EXPECT_TRUE(fs::is_directory(path("out"))) << "the new folder stays, empty";
}

TEST_F(ToolExtract, TheDefaultFolderIsTheArchivesNameBesideIt) {
    fs::copy_file(corpus("crafted/anims_l2.lzh"), path("My Anims.lzh"));
    const ProgramRun run = runTool({"extract", path("My Anims.lzh")});
    EXPECT_EQ(run.exitStatus, 0) << run.standardOutput << run.standardError;
    EXPECT_EQ(run.standardOutput.substr(0, run.standardOutput.find('\n')), "Extracted 11 entries into " + path("My Anims"));
    EXPECT_TRUE(fs::is_regular_file(path("My Anims/Anims/Walk/x.anim")));
}

TEST_F(ToolExtract, JSONHoldsOneObjectWithTheWholeOutcome) {
    const std::string archive = corpus("crafted/decode_fail.lzh");
    const ProgramRun run = runTool({"extract", archive, "-o", path("out"), "--json"});
    EXPECT_EQ(run.exitStatus, 2);
    const nlohmann::ordered_json expected = {
        {"archive", archive},
        {"destination", path("out")},
        {"files", 6},
        {"bytes", 31 + 30 + 1000 + 20 + 10 + 30},
        {"extracted", {"ok1.txt", "clen_gt_length.bin", "ok2.txt"}},
        {"failed",
         {{{"path", "unknown_method.bin"}, {"reason", "unsupported compression method"}},
          {{"path", "garbage_lh5.bin"}, {"reason", "decoding or checksum failed"}},
          {{"path", "short_data.bin"}, {"reason", "decoding or checksum failed"}}}},
        {"keptExisting", nlohmann::ordered_json::array()},
        {"skippedLinks", nlohmann::ordered_json::array()},
        {"animations", nlohmann::ordered_json::array()},
        {"stoppedEarly", false},
        {"cancelled", false},
    };
    EXPECT_EQ(nlohmann::ordered_json::parse(run.standardOutput), expected);

    const auto broken = nlohmann::json::parse(
        runTool({"extract", corpus("crafted/broken_level_byte.lzh"), "-o", path("broken"), "--json"}).standardOutput);
    EXPECT_EQ(broken["stoppedEarly"], true);
}

// Standard error on a pseudo-terminal, standard output elsewhere.
TEST_F(ToolExtract, ATerminalGetsAProgressBarWithEscapedNames) {
    fs::create_directories(path("out"));
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, ::ptsname(master), O_RDWR | O_NOCTTY, 0);
    const std::string archive = corpus("real/archives/regression/badterm.lzh"), out = path("out");
    char* argv[] = {const_cast<char*>(VELARIUM_TOOL_PATH), const_cast<char*>("extract"), const_cast<char*>(archive.c_str()),
                    const_cast<char*>("-o"), const_cast<char*>(out.c_str()), nullptr};
    pid_t pid = 0;
    std::string bar;
    if (posix_spawn(&pid, VELARIUM_TOOL_PATH, &actions, nullptr, argv, environ) == 0) {
        char buffer[4096];
        // The terminal reports an error once the tool has closed its side.
        for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;) bar.append(buffer, got);
        ::waitpid(pid, nullptr, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(master);

    EXPECT_NE(bar.find("%"), std::string::npos) << bar;
    EXPECT_NE(bar.find("tmp/\\x1b]2;malicious\\x07\\x0a (1 of 1)"), std::string::npos) << bar;
    // The only escape sequences are the bar's own "erase to the end of the line".
    for (std::size_t at = bar.find('\x1b'); at != std::string::npos; at = bar.find('\x1b', at + 1))
        EXPECT_EQ(bar.compare(at, 3, "\x1b[K"), 0) << bar;
    EXPECT_EQ(bar.substr(bar.size() - 4), "\r\x1b[K") << "the bar is cleared at the end";
}

}  // namespace
}  // namespace velarium
