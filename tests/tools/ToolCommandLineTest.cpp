// velarium-tool's command lines: what each prints and its exit status, for
// good input, unusable files, frames it cannot give and mistakes on the
// command line; damaged files never crash it; info --json.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "platform/coremedia/MediaTime.h"
#include "support/IFFWriter.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

using namespace testing;
using nlohmann::json;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

struct CommandLine {
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> out;  // lines standard output must hold, in this order; none: it is empty
    std::vector<std::string> err;  // standard error, line by line
};

// The help of a command (none: the tool's), also the usage it shows when its file is missing.
std::vector<std::string> helpOf(std::vector<std::string> command) {
    command.push_back("--help");
    return splitLines(runTool(command).standardOutput);
}

TEST(ToolCommandLines, PrintWhatTheyShouldAndExitWithTheirStatus) {
    TemporaryFolder folder;
    const auto file = [&](const std::string& name, const auto& bytes) { return folder.write(name, bytes).string(); };
    const std::string out = (folder / "out").string();  // a folder for frames, never made
    const std::string big = file("big.anim", std::string("FORM\0\0\0\0ANIM", 12));
    std::filesystem::resize_file(big, 100 * 1024 * 1024 + 1);  // sparse: costs no disk
    const std::string blocker = file("blocker", std::string("a file where a folder should be"));
    // A key frame, two ANIM-5 deltas on the previous frame, one ANIM-7 on the frame two back.
    const ByteVector delta = chunk("DLTA", ByteVector(64, 0));
    const std::string mixed = file("mixed.anim", animFile({form("ILBM", {bmhd({}), camg(0x880), chunk("BODY", {0, 0})}),
                                                           form("ILBM", {anhd({5, 1, 1, 0}), delta}),
                                                           form("ILBM", {anhd({5, 1, 1, 0}), delta}),
                                                           form("ILBM", {anhd({7, 1, 0, 0}), delta})}));
    // Ranges of every kind the info lists: cycling, inactive, a DRNG with a true-colour cell.
    const std::string cycling = file(
        "cycling.anim",
        animFile({form("ILBM", {bmhd({}), chunk("CRNG", concat({w16({0, 16384, 1}), words({2, 5}, 1)})),
                                chunk("CCRT", concat({w16({0xFFFF}), words({1, 3}, 1), w32({0, 250000}), w16({0})})),
                                chunk("DRNG", concat({words({0, 2}, 1), w16({8192, 2}), words({1, 2}, 1),
                                                      words({1, 0xAB, 0xCD, 0xEF, 0, 2, 2, 9}, 1)})),
                                chunk("BODY", {0, 0})})}));
    const auto failed = [](const std::string& file, const std::string& message) {
        return std::vector<std::string>{"velarium-tool: " + file + ": " + message};
    };
    const auto misused = [](const std::string& message) {
        return std::vector<std::string>{"velarium-tool: " + message + " (see velarium-tool --help)"};
    };
    const auto frames = [&](std::vector<std::string> options) {
        options.insert(options.begin(), {"frames", kDemo, "-o", out});
        return options;
    };

    std::vector<CommandLine> cases = {
        {{"info", kDemo}, 0,
         {"File:            " + kDemo, "Size:            320 x 200 pixels", "Planes:          5",
          "Masking:         0 (none)", "Compression:     1 (ByteRun1)",
          "CAMG:            0x00000000 (HAM: off, EHB: off)", "Aspect:          10:11", "Frames:          36",
          "Operations:      36 x key frame (BODY)", "Interleave:      - (no delta frames)", "DPAN speed:      10 fps",
          "First frame:     0.100 s (6/60)", "Total duration:  3.600 s (216/60)", "Frame rate:      10.00 fps",
          "Colours:         32; CMAP holds 32", "Colour ranges:   none"},
         {}},
        {{"info", cycling}, 0,
         {"Colour ranges:   3 (2 cycling)", "  Range 1:       CRNG, registers 2-5, 60.00 steps/s, forward, active",
          "  Range 2:       CCRT, registers 1-3, 4.00 steps/s, reverse, active",
          "  Range 3:       DRNG, registers 2, 9 + 1 true colour, 30.00 steps/s, reverse, inactive"},
         {}},
        {{"info", mixed}, 0,
         {"CAMG:            0x00000880 (HAM: HAM6, EHB: on)",
          "Operations:      1 x key frame (BODY), 2 x Byte Vertical Delta (ANIM-5), "
          "1 x Short/Long Vertical Delta (ANIM-7)",
          "Interleave:      mixed: 0 in 1 delta frames, 1 in 2"},
         {}},
        {frames({"--from", "36"}), kFailure, {}, failed(kDemo, "--from 36 is past the last frame (35)")},
        {{"frames", kDemo, "-o", "-", "--format", "bgra", "--from", "99999999999999999999"}, kFailure, {},
         failed(kDemo, "--from 18446744073709551615 is past the last frame (35)")},
        {{"frames", kDemo, "-o", blocker}, kFailure, {},
         failed(kDemo, "Cannot create the folder " + blocker + ": Not a directory")},
        {{"frames", kDemo, "-o", blocker + "/below"}, kFailure, {},
         failed(kDemo, "Cannot create the folder " + blocker + "/below: Not a directory")},
        {{"play", kDemo, "--speed", "2"}, kUsage, {}, misused("The following arguments were not expected: 2 --speed")},
        {{"info", kDemo, "--colour"}, kUsage, {}, misused("The following argument was not expected: --colour")},
        {{"frames", kDemo}, kUsage, {}, misused("frames needs -o DIR, or -o - with --format bgra")},
        {{"frames", kDemo, "-o", "-"}, kUsage, {},
         misused("only --format bgra can be written to standard output (-o -)")},
        {frames({"--format", "gif"}), kUsage, {}, misused("--format: gif not in {png,bgra}")},
        {frames({"--from", "-1"}), kUsage, {}, misused("--from: expected a whole number, not -1")},
        {frames({"--count", "0"}), kUsage, {}, misused("--count: expected 1 or more")},
        {frames({"--count", "two"}), kUsage, {}, misused("--count: expected a whole number, not two")},
        {frames({"--jobs", "0"}), kUsage, {}, misused("--jobs: expected 1 or more")},
        {frames({"--jobs", "17"}), kUsage, {}, misused("--jobs: expected at most 16")},
        {frames({"--jobs", "two"}), kUsage, {}, misused("--jobs: expected a whole number, not two")},
        {frames({"--jobs", "-1"}), kUsage, {}, misused("--jobs: expected a whole number, not -1")},
        {frames({"--cycle-at", "-1"}), kUsage, {}, misused("--cycle-at: expected seconds such as 2 or 0.25, not -1")},
        {frames({"--cycle-at", "1e3"}), kUsage, {}, misused("--cycle-at: expected seconds such as 2 or 0.25, not 1e3")},
        {frames({"--cycle-at", "."}), kUsage, {}, misused("--cycle-at: expected seconds such as 2 or 0.25, not .")},
        {{}, kUsage, {}, helpOf({})},
        {{"info"}, kUsage, {}, helpOf({"info"})},
        {{"frames", "-o", out}, kUsage, {}, helpOf({"frames"})},
        {{"frames", "--help"}, 0, {"Usage: velarium-tool frames [OPTIONS] [FILE]"}, {}},
    };

    // A picture of 0 × 0 pixels, and a file without any BMHD: facts, but no frames.
    for (const char* name : {"no-pixels.anim", "no-header.anim"}) {
        const std::string anim = file(name, animFile({name[3] == 'p' ? form("ILBM", {bmhd({0, 0}), chunk("BODY", {})})
                                                                     : form("ILBM", {anhd({})})}));
        cases.push_back({{"info", anim}, 0, {"Size:            0 x 0 pixels"}, {}});
        cases.push_back({{"frames", anim, "-o", out}, kFailure, {},
                         failed(anim, "The animation's picture is empty (0 x 0 pixels)")});
    }

    // Unusable files. `frames` and `play` open them through the format reader
    // extension, which words some of these failures its own way.
    const struct {
        std::string file, message, extensionMessage = {};
    } unusable[] = {
        {(folder / "no-such.anim").string(), "Cannot read the file: No such file or directory"},
        {folder.path().string(), "Cannot read the file: Is a directory"},
        {file("empty.anim", std::string()), "File too small", "Invalid file size"},
        {file("short.anim", std::string("FORM\0\0\0\x04" "ANI", 11)), "File too small"},
        {file("notes.txt", std::string("These are not the frames you are looking for.\n")), "Not an IFF ANIM file"},
        {file("picture.iff", form("ILBM", {bmhd({}), chunk("BODY", {0, 0})})), "Not an IFF ANIM file"},
        {file("noframes.anim", form("ANIM", {chunk("NAME", {'x', 'y'})})), "No frames found: the ANIM file holds no FORM ILBM",
         "Failed to parse ANIM file"},
        {big, "The file is larger than 100 MiB, too large to be an animation", "Invalid file size"},
    };
    for (const auto& u : unusable) {
        const std::string& viaExtension = u.extensionMessage.empty() ? u.message : u.extensionMessage;
        cases.push_back({{"info", u.file}, kFailure, {}, failed(u.file, u.message)});
        cases.push_back({{"frames", u.file, "-o", out}, kFailure, {}, failed(u.file, viaExtension)});
        cases.push_back({{"play", u.file}, kFailure, {}, failed(u.file, viaExtension)});
    }

    for (const CommandLine& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const auto run = runTool(c.arguments);
        EXPECT_EQ(run.exitStatus, c.status);
        EXPECT_EQ(run.errorLines(), c.err);
        if (c.out.empty()) EXPECT_EQ(run.standardOutput, "");
        const auto lines = splitLines(run.standardOutput);
        auto at = lines.begin();
        for (const std::string& line : c.out) {
            at = std::find(at, lines.end(), line);
            ASSERT_NE(at, lines.end()) << "missing, or out of order: " << line << "\n" << run.standardOutput;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

// Cut and damaged copies of the demo: whatever happens, the tool ends
// normally, and either succeeds quietly or fails with exactly one line.
TEST(ToolCommandLines, DamagedFilesNeverCrashTheTool) {
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

    TemporaryFolder folder;
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE("damaged file " + std::to_string(i));
        const std::string anim = folder.write("damaged.anim", damaged[i]).string();
        for (const auto& arguments : std::vector<std::vector<std::string>>{
                 {"info", anim}, {"info", "--json", anim}, {"frames", anim, "-o", "-", "--format", "bgra"}}) {
            const auto run = runTool(arguments);
            EXPECT_TRUE(run.exitStatus == 0 || run.exitStatus == kFailure) << arguments[0] << ": " << run.exitStatus;
            EXPECT_EQ(run.errorLines().size(), run.exitStatus == 0 ? 0u : 1u) << run.standardError;
        }
    }
}

// The catalogue's JSON cells are stored CSV-style: quoted, with doubled quotes.
json catalogueJson(std::string cell) {
    if (cell.size() >= 2 && cell.front() == '"') cell = cell.substr(1, cell.size() - 2);
    return json::parse(std::regex_replace(cell, std::regex("\"\""), "\""));
}

MediaTime timeFromJson(const json& time) {
    return MediaTime::make(time["value"].get<std::int64_t>(), time["timescale"].get<std::int32_t>());
}

// info --json against the corpus catalogue and timings, which other tools made.
TEST(ToolInfo, JsonAgreesWithTheCorpusCatalogueAndTimings) {
    if (!haveCorpus()) GTEST_SKIP() << "corpus not present";
    const auto anim = corpusDir() / "anim";
    const auto rows = readLines(anim / "CATALOG.tsv");
    ASSERT_GT(rows.size(), 1u);
    const auto header = tabCells(rows[0]);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const auto cells = tabCells(rows[r]);
        auto cell = [&](const char* name) { return cells.at(std::find(header.begin(), header.end(), name) - header.begin()); };
        const std::string name = cell("file");
        SCOPED_TRACE(name);
        auto path = anim / "real" / name;
        if (!std::filesystem::exists(path)) path = anim / "generated" / name;

        const auto run = runTool({"info", "--json", path.string()});
        ASSERT_EQ(run.exitStatus, 0) << run.standardError;
        ASSERT_TRUE(json::accept(run.standardOutput)) << run.standardOutput;
        const json facts = json::parse(run.standardOutput);
        EXPECT_EQ(facts["width"], std::stoull(cell("width")));
        EXPECT_EQ(facts["height"], std::stoull(cell("height")));
        EXPECT_EQ(facts["planes"], std::stoull(cell("planes")));
        EXPECT_EQ(facts["frameCount"], std::stoull(cell("nframes")));
        const json chunks = catalogueJson(cell("other_chunks"));
        EXPECT_EQ(facts["colorRanges"].size(),
                  chunks.value("CRNG", 0u) + chunks.value("CCRT", 0u) + chunks.value("DRNG", 0u));
        EXPECT_EQ(facts["dpanSpeed"], cell("dpan").empty() ? 0 : catalogueJson(cell("dpan"))["fps_byte"].get<int>());

        // The catalogue counts frames by ANHD operation: the key frame is
        // its "0", or "noANHD" without one. Interleave counts delta frames.
        std::map<std::string, std::uint64_t> expected, got;
        const json operations = catalogueJson(cell("ops"));
        for (const auto& [operation, count] : operations.items())
            expected[operation == "noANHD" ? "0" : operation] += count.get<std::uint64_t>();
        for (const json& use : facts["operations"])
            got[use["kind"] == "keyframe" ? "0" : std::to_string(use["operation"].get<int>())] += use["frames"].get<std::uint64_t>();
        EXPECT_EQ(got, expected);
        const json interleave = catalogueJson(cell("interleave"));
        EXPECT_EQ(facts["interleave"]["previousFrame"], interleave.value("1", 0));
        EXPECT_EQ(facts["interleave"]["twoFramesBack"], interleave.value("0", 0));

        // Durations: the first frame's, and the sum of all of them.
        const auto durations = expectedDurations(anim / "expected" / (name + ".timing.tsv"));
        ASSERT_FALSE(durations.empty());
        EXPECT_EQ(timeFromJson(facts["firstFrameDuration"]), durations.front());
        MediaTime total = MediaTime::zero();
        for (const MediaTime& duration : durations) total = total + duration;
        EXPECT_EQ(timeFromJson(facts["totalDuration"]), total);
        EXPECT_NEAR(facts["totalDuration"]["seconds"].get<double>(), total.seconds(), 1e-9);
    }
}

}  // namespace
}  // namespace velarium
