// velarium-tool extract: the report, the exit status, files already there,
// the default folder, the JSON object, names escaped for the terminal, and
// the progress bar that only a terminal gets.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "support/LHAArchives.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace testing;

// Command lines and what they print, "$F" the test's folder, "$C" the LHA
// corpus; `existing` names are made first ("mine", or a folder when ending in
// '/') and stay unless --force lets an intact copy replace them. badterm.lzh's
// one entry, "/tmp/" ESC "]2;malicious" BEL LF, fails on a file "tmp", escaped.
TEST(ToolExtract, EachCommandLinePrintsItsReportAndExitsByTheOutcome) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    TemporaryFolder folder;
    const auto expand = [&](std::string text) {
        for (const auto& [key, value] : {std::pair{"$F", folder.path().string()}, std::pair{"$C", lhaCorpusDir().string()}})
            for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, 2, value);
        return text;
    };
    fs::copy_file(lhaCorpusDir() / "crafted/anims_l2.lzh", folder / "My Anims.lzh");
    const std::string anims = "Animations:\n  Anims/Walk/x.anim\n  Anims/Run/y.anim\n";
    struct Case {
        std::vector<std::string> arguments;  // after "extract"
        int exitStatus;
        std::string output, error;  // standard output (JSON compared as such), standard error
        std::vector<std::string> existing = {};
    } const cases[] = {
        {{"$C/crafted/decode_fail.lzh", "-o", "$F/1"}, 2,
         "Extracted 2 entries into $F/1\nNot extracted:\n  ok1.txt: a folder of that name is in the way\n  "
         "unknown_method.bin: unsupported compression method\n  garbage_lh5.bin: decoding or checksum failed\n  "
         "short_data.bin: decoding or checksum failed\n", "", {"1/ok1.txt/"}},
        {{"$C/crafted/symlinks_only.lzh", "-o", "$F/2"}, 2,
         "Extracted 0 entries into $F/2\nSymbolic links, not extracted:\n  link0\n  sub/link1\n  link2\n  "
         "Anims/walk_link\n  evil_link\n  dirlink\n", ""},
        {{"$C/crafted/broken_l2_header_crc.lzh", "-o", "$F/3"}, 2,
         "Extracted 2 entries into $F/3\nThe archive is damaged: entries after second.anim are missing.\n"
         "Animations:\n  second.anim\n", ""},
        {{"$C/crafted/anims_l2.lzh", "-o", "$F/4"}, 2,
         "Extracted 10 entries into $F/4\nAlready there, left alone (--force replaces them):\n  top.anim\n" + anims, "",
         {"4/top.anim"}},
        {{"$C/crafted/anims_l2.lzh", "-o", "$F/5", "--force"}, 0, "Extracted 11 entries into $F/5\n" + anims + "  top.anim\n",
         "", {"5/top.anim"}},
        {{"$C/real/archives/regression/badterm.lzh", "-o", "$F/6"}, 2,
         "Extracted 0 entries into $F/6\nNot extracted:\n  tmp/\\x1b]2;malicious\\x07\\x0a: a file stands where a "
         "folder is needed\n", "", {"6/tmp"}},
        // Beside the archive, named after it.
        {{"$F/My Anims.lzh"}, 0, "Extracted 11 entries into $F/My Anims\n" + anims + "  top.anim\n", ""},
        {{"$C/crafted/broken_l2_header_crc.lzh", "-o", "$F/json", "--json"}, 2,
         R"({"archive": "$C/crafted/broken_l2_header_crc.lzh", "destination": "$F/json", "files": 2, "bytes": 70,
             "extracted": [], "failed": [{"path": "second.anim", "reason": "a folder of that name is in the way"}],
             "keptExisting": ["first.txt"], "skippedLinks": [], "animations": [], "stoppedEarly": true,
             "cancelled": false})", "", {"json/first.txt", "json/second.anim/"}},
        // Nothing done: one line and status 1; a new folder stays, empty.
        {{"$C/crafted/text.lha", "-o", "$F/unread"}, 1, "",
         "velarium-tool: $C/crafted/text.lha: The archive could not be read. “text.lha” is not an LHA archive, or it "
         "is damaged.\n"},
        {{"$C/jlha/multi_lh5_l2.lzh", "-o", "$F/taken"}, 1, "",
         "velarium-tool: $F/taken: The folder could not be created. A file named “taken” already exists there. "
         "Choose a different name for the folder.\n", {"taken"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"extract"};
        for (const std::string& argument : c.arguments) arguments.push_back(expand(argument));
        SCOPED_TRACE(arguments[1] + " " + arguments.back());
        for (const std::string& name : c.existing) {
            if (name.back() == '/') fs::create_directories(folder / name);
            else folder.write(name, "mine");
        }
        const ProgramRun run = runTool(arguments);
        EXPECT_EQ(run.exitStatus, c.exitStatus);
        EXPECT_EQ(run.standardError, expand(c.error)) << "and no progress bar without a terminal";
        if (c.output.front() == '{')
            EXPECT_EQ(nlohmann::ordered_json::parse(run.standardOutput), nlohmann::ordered_json::parse(expand(c.output)));
        else
            EXPECT_EQ(run.standardOutput, expand(c.output));
        const bool force = arguments.back() == "--force";
        for (const std::string& name : c.existing)
            EXPECT_TRUE(name.back() == '/' || (readFileBytes(folder / name).size() == 4) != force) << name;
    }
    EXPECT_TRUE(fs::is_regular_file(folder / "My Anims/Anims/Walk/x.anim"));
    EXPECT_TRUE(fs::is_directory(folder / "unread") && fs::is_empty(folder / "unread"));
}

// Standard error on a pseudo-terminal, standard output elsewhere.
TEST(ToolExtract, ATerminalGetsAProgressBarWithEscapedNames) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    TemporaryFolder folder;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, ::ptsname(master), O_RDWR | O_NOCTTY, 0);
    const std::string archive = (lhaCorpusDir() / "real/archives/regression/badterm.lzh").string(), out = folder / "out";
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
