// velarium-tool convert: one file in the format its name asks for, a
// collection mirrored into a folder (archives under their own folder), the
// exit statuses, files already there, a full disk, and the whole corpus.
// velarium-tool extract: the report, the exit status, files already there,
// the default folder, the JSON object, names escaped for the terminal, and
// the progress bar that only a terminal gets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "support/LHAArchives.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace testing;
using Json = nlohmann::json;

// Runs the tool with writes beyond `limit` bytes failing with EFBIG, as on a
// full disk: a shell sets the limit (in 512-byte blocks) and ignores SIGXFSZ.
ProgramRun runToolWithFileSizeLimit(const std::vector<std::string>& arguments, int limit) {
    std::vector<std::string> shellArguments = {
        "-c", "ulimit -f " + std::to_string(limit / 512) + "; trap '' XFSZ; exec \"$0\" \"$@\"", VELARIUM_TOOL_PATH};
    shellArguments.insert(shellArguments.end(), arguments.begin(), arguments.end());
    return runProgram("/bin/sh", shellArguments);
}

class ToolConvert : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    TemporaryFolder folder_;
};

TEST_F(ToolConvert, OneAnimationTakesItsFormatFromTheName) {
    struct Case {
        std::string output;
        std::vector<std::string> options;
        std::string magic;  // at the start of the file
        std::size_t magicOffset = 0;
    } const cases[] = {
        {"demo.png", {"--once"}, "\x89PNG"},
        {"demo.apng", {}, "\x89PNG"},
        {"demo.out", {"--format", "gif"}, "GIF89a"},
        {"demo.webp", {"--scale", "2"}, "WEBP", 8},
        {"demo.webm", {"--scale", "1"}, "\x1a\x45\xdf\xa3"},
        {"demo.mp4", {"--scale", "1"}, "ftyp", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        std::vector<std::string> arguments = {"convert", kDemo, "-o", path(c.output), "--json"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ProgramRun run = runTool(arguments);
        EXPECT_EQ(run.exitStatus, 0) << run.standardError;
        if (run.exitStatus != 0) continue;
        EXPECT_EQ(run.standardError.find("velarium-tool:"), std::string::npos) << run.standardError;
        EXPECT_EQ(readWholeFile(path(c.output)).substr(c.magicOffset, c.magic.size()), c.magic);
        const Json report = Json::parse(run.standardOutput);
        EXPECT_EQ(report["inputs"], 1);
        EXPECT_EQ(report["converted"], 1);
        ASSERT_EQ(report["outputs"].size(), 1u);
        const Json& output = report["outputs"][0];
        EXPECT_EQ(output["source"], kDemo);
        EXPECT_EQ(output["output"], path(c.output));
        EXPECT_EQ(output["frames"].get<int>() + output["mergedPictures"].get<int>() +
                      output["droppedPictures"].get<int>(), 36);
        EXPECT_NEAR(output["duration"].get<double>(), 3.6, 0.01);
    }
    // --aspect takes the pixel aspect from the file itself: tall 5:11 pixels
    // double the picture's height.
    std::string tall = readWholeFile(kDemo);
    const std::size_t header = tall.find("BMHD") + 8;
    tall[header + 14] = 5;
    tall[header + 15] = 11;
    folder_.write("tall.anim", tall);
    ASSERT_EQ(runTool({"convert", path("tall.anim"), "-o", path("tall.png"), "--aspect"}).exitStatus, 0);
    ASSERT_EQ(runTool({"convert", kDemo, "-o", path("square.png")}).exitStatus, 0);
    const auto side = [](const std::string& png, int offset) {  // IHDR width at 16, height at 20
        return (std::uint8_t(png[offset]) << 24) | (std::uint8_t(png[offset + 1]) << 16) |
               (std::uint8_t(png[offset + 2]) << 8) | std::uint8_t(png[offset + 3]);
    };
    const std::string tallPNG = readWholeFile(path("tall.png")), squarePNG = readWholeFile(path("square.png"));
    EXPECT_EQ(side(tallPNG, 16), side(squarePNG, 16));
    EXPECT_EQ(side(tallPNG, 20), 2 * side(squarePNG, 20));

    // Colour cycling baked into a GIF: laps until the ranges meet again, and
    // the steps the format's 50 pictures a second cannot hold are reported.
    if (!haveCorpus()) return;
    const ProgramRun cycled = runTool({"convert", (corpusDir() / "anim/real/pydpainter_color-balls.anim").string(),
                                       "-o", path("balls.gif"), "--cycle-colours"});
    EXPECT_EQ(cycled.exitStatus, 0) << cycled.standardError;
    EXPECT_NE(cycled.standardOutput.find(", 4 laps, 24 cycle steps merged (at most 50 pictures a second), 3.200 s"),
              std::string::npos) << cycled.standardOutput;
}

// A tree with an animation under an odd name, a text file, and a real archive
// of nested folders: outputs mirror the tree, the archive's under a folder
// named after it, and its private folder is gone afterwards.
TEST_F(ToolConvert, CollectionMirrorsTheTreeAndArchives) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    const std::string demo = readWholeFile(kDemo);
    folder_.write("in/a/walk.anim", demo);
    folder_.write("in/a/notes.txt", "not an animation");
    folder_.write("in/sub/WALK", demo);
    fs::copy_file(lhaCorpusDir() / "jlha/multi_lh5_l2.lzh", folder_ / "in/sub/pack.lzh");
    folder_.write("lone.iff", demo);
    const TemporaryFolder privateFolders;
    ::setenv("TMPDIR", privateFolders.path().c_str(), 1);
    const ProgramRun run = runTool({"convert", path("in"), path("lone.iff"), "-o", path("out"), "--format", "apng",
                                    "--jobs", "2", "--json"});
    ::unsetenv("TMPDIR");
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_TRUE(fs::is_empty(privateFolders.path()));

    // Source and output, relative to the test's folder; an archive's entries follow its path.
    const std::map<std::string, std::string> expected = {
        {"in/a/walk.anim", "out/a/walk.apng"},
        {"in/sub/WALK", "out/sub/WALK.apng"},
        {"in/sub/pack.lzh/Anims/Run/run_cycle.anim", "out/sub/pack/Anims/Run/run_cycle.apng"},
        {"in/sub/pack.lzh/Anims/Walk/walk_cycle.anim", "out/sub/pack/Anims/Walk/walk_cycle.apng"},
        {"in/sub/pack.lzh/Anims/Walk/walk_slow.anim", "out/sub/pack/Anims/Walk/walk_slow.apng"},
        {"in/sub/pack.lzh/Anims/Idle/Loop/idle.anim", "out/sub/pack/Anims/Idle/Loop/idle.apng"},
        {"lone.iff", "out/lone.apng"}};
    std::vector<std::string> written;
    for (const auto& [source, output] : expected) written.push_back(output.substr(4));
    std::ranges::sort(written);
    EXPECT_EQ(filesIn(folder_ / "out", true), written);

    const Json report = Json::parse(run.standardOutput);
    EXPECT_EQ(report["inputs"], expected.size());
    EXPECT_EQ(report["converted"], expected.size());
    EXPECT_EQ(report["failed"], Json::array());
    std::map<std::string, std::string> pairs;
    const std::size_t prefix = folder_.path().string().size() + 1;
    for (const Json& output : report["outputs"]) {
        pairs.emplace(output["source"].get<std::string>().substr(prefix), output["output"].get<std::string>().substr(prefix));
        EXPECT_GT(output["frames"].get<int>(), 0);
        EXPECT_GT(output["duration"].get<double>(), 0);
    }
    EXPECT_EQ(pairs, expected);
}

// 1 when nothing could be done, 2 when something failed: one line per
// failure, and nothing written for it.
TEST_F(ToolConvert, ExitStatusSaysHowFarItGot) {
    folder_.write("empty/notes.txt", "no animations here");
    folder_.write("mixed/good.anim", readWholeFile(kDemo));
    folder_.write("bad.anim", std::string("FORM\0\0\0\x04" "ANIM", 12));
    folder_.write("taken", "a file where the output folder should go");
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string failing, message;  // in the one line on standard error
        std::vector<std::string> written = {};
    } const cases[] = {
        {{kDemo, "-o", path("x.gif"), "--format", "bmp"}, 1, "", "--format"},
        {{kDemo}, 1, "", "-o"},
        {{kDemo, "-o", path("x.bmp")}, 1, path("x.bmp"), "--format"},
        {{kDemo, "-o", path("x.gif"), "--jobs", "0"}, 1, "", "--jobs"},
        {{path("missing.anim"), "-o", path("out")}, 1, path("missing.anim"), "No such file"},
        {{path("empty"), "-o", path("out"), "--format", "gif"}, 1, path("empty"), "no animations found"},
        {{path("mixed"), "-o", path("out")}, 1, path("out"), "--format"},
        {{path("mixed"), "-o", path("taken"), "--format", "gif"}, 1, path("taken"), "cannot be created"},
        {{path("mixed"), path("bad.anim"), "-o", path("out"), "--format", "apng"}, 2, path("bad.anim"), "", {"good.apng"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " -> " + c.failing);
        std::vector<std::string> arguments = {"convert"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const ProgramRun run = runTool(arguments);
        EXPECT_EQ(run.exitStatus, c.status);
        const auto lines = run.errorLines();
        ASSERT_EQ(lines.size(), 1u) << run.standardError;
        EXPECT_EQ(lines[0].rfind("velarium-tool: " + (c.failing.empty() ? "" : c.failing + ": "), 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(c.message), std::string::npos) << lines[0];
        EXPECT_EQ(filesIn(folder_ / "out", true), c.written);
        EXPECT_FALSE(fs::exists(path("x.gif")));
        fs::remove_all(folder_ / "out");
    }
}

// A file already there stays unless --force; a disk that fills up leaves
// neither a partial file nor a damaged original.
TEST_F(ToolConvert, NeverReplacesWithoutForceNorLeavesPartialFiles) {
    const std::string output = path("demo.apng");
    folder_.write("demo.apng", "mine");
    ProgramRun run = runTool({"convert", kDemo, "-o", output});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.errorLines().size(), 1u) << run.standardError;
    EXPECT_EQ(readWholeFile(output), "mine");

    for (const bool existing : {true, false}) {
        SCOPED_TRACE(existing ? "replacing" : "new file");
        if (!existing) fs::remove(output);
        run = runToolWithFileSizeLimit({"convert", kDemo, "-o", output, "--force"}, 2048);
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_EQ(run.errorLines().size(), 1u) << run.standardError;
        EXPECT_EQ(filesIn(folder_.path(), true), existing ? std::vector<std::string>{"demo.apng"} : std::vector<std::string>{});
        if (existing) EXPECT_EQ(readWholeFile(output), "mine");
    }

    run = runTool({"convert", kDemo, "-o", output, "--force"});
    EXPECT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_EQ(readWholeFile(output).substr(0, 4), "\x89PNG");
}

// Every animation of the corpus, loose and in archives, is either converted
// or listed with its reason; anything listed makes the status 2.
TEST_F(ToolConvert, ConvertsTheCorpusAndListsEveryFailure) {
    if (!haveCorpus() || !haveLHACorpus()) GTEST_SKIP() << "no corpus at " << corpusDir();
    const fs::path anim = corpusDir() / "anim";
    std::vector<std::string> arguments = {"convert", "-o", path("out"), "--format", "apng", "--jobs", "2", "--json"};
    for (const char* folder : {"real", "generated", "vectors"}) arguments.push_back((anim / folder).string());
    arguments.push_back(lhaCorpusDir().string());
    const ProgramRun run = runTool(arguments);
    ASSERT_NE(run.exitStatus, -1);
    const Json report = Json::parse(run.standardOutput);

    std::set<std::string> accounted;
    for (const Json& output : report["outputs"]) {
        accounted.insert(output["source"]);
        EXPECT_TRUE(fs::is_regular_file(output["output"].get<std::string>())) << output["output"];
    }
    for (const Json& failure : report["failed"]) {
        accounted.insert(failure["path"]);
        EXPECT_FALSE(failure["reason"].get<std::string>().empty()) << failure["path"];
    }
    for (const CorpusAnimation& animation : corpusAnimations())
        EXPECT_TRUE(accounted.count(animation.file.string())) << animation.name;
    EXPECT_GE(report["outputs"].size(), 60u);
    EXPECT_EQ(report["converted"], report["outputs"].size());
    EXPECT_EQ(run.errorLines().size(), report["failed"].size());
    EXPECT_EQ(run.exitStatus, report["failed"].empty() ? 0 : 2);
}


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
