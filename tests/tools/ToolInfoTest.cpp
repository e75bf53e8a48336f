// velarium-tool info: the facts it prints, checked against the parser and
// against the corpus catalogue.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "core/ANIMParser.h"
#include "support/Corpus.h"
#include "support/IFFWriter.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

using nlohmann::json;
using testing::runTool;

const std::string kDemo = VELARIUM_DEMO_FILE;

std::unique_ptr<ANIMParser> parseFile(const std::filesystem::path& path) {
    auto parser = std::make_unique<ANIMParser>(makeSharedBytes(testing::readFileBytes(path)));
    Error error;
    EXPECT_TRUE(parser->parseWithError(&error)) << path << ": " << error.localizedDescription;
    return parser;
}

TEST(ToolInfo, ListsTheDemoFactsAsAnAlignedList) {
    const auto run = runTool({"info", kDemo});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_EQ(run.standardError, "");

    // Every fact on its own line, values starting in one column.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Size", "320 x 200 pixels"},
        {"Planes", "5"},
        {"Masking", "0 (none)"},
        {"Compression", "1 (ByteRun1)"},
        {"CAMG", "0x00000000 (HAM: off, EHB: off)"},
        {"Aspect", "10:11"},
        {"Frames", "36"},
        {"Operations", "36 x key frame (BODY)"},
        {"Interleave", "- (no delta frames)"},
        {"DPAN speed", "10 fps"},
        {"First frame", "0.100 s (6/60)"},
        {"Total duration", "3.600 s (216/60)"},
        {"Frame rate", "10.00 fps"},
        {"Colours", "32; CMAP holds 32"},
    };
    std::istringstream lines(run.standardOutput);
    std::map<std::string, std::string> rows;
    std::set<std::size_t> valueColumns;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t colon = line.find(':');
        ASSERT_NE(colon, std::string::npos) << line;
        const std::size_t value = line.find_first_not_of(' ', colon + 1);
        ASSERT_NE(value, std::string::npos) << line;
        rows[line.substr(0, colon)] = line.substr(value);
        valueColumns.insert(value);
    }
    EXPECT_EQ(valueColumns.size(), 1u) << run.standardOutput;
    for (const auto& [label, value] : expected) EXPECT_EQ(rows[label], value) << label;
}

TEST(ToolInfo, NamesMixedOperationsAndInterleave) {
    // One key frame, two ANIM-5 deltas against the previous frame, one ANIM-7 against two back.
    using namespace testing;
    testing::TemporaryFolder folder;
    const auto file = folder / "mixed.anim";
    const ByteVector body(2, 0);
    auto bytes = animFile({
        form("ILBM", {bmhd({}), camg(0x880), chunk("BODY", body)}),
        form("ILBM", {anhd({5, 1, 1, 0}), chunk("DLTA", ByteVector(64, 0))}),
        form("ILBM", {anhd({5, 1, 1, 0}), chunk("DLTA", ByteVector(64, 0))}),
        form("ILBM", {anhd({7, 1, 0, 0}), chunk("DLTA", ByteVector(64, 0))}),
    });
    writeWholeFile(file, std::string(bytes.begin(), bytes.end()));

    const auto run = runTool({"info", file.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_NE(run.standardOutput.find("Operations:      1 x key frame (BODY), 2 x Byte Vertical Delta (ANIM-5), "
                                      "1 x Short/Long Vertical Delta (ANIM-7)\n"),
              std::string::npos)
        << run.standardOutput;
    EXPECT_NE(run.standardOutput.find("Interleave:      mixed: 0 in 1 delta frames, 1 in 2\n"), std::string::npos)
        << run.standardOutput;
    EXPECT_NE(run.standardOutput.find("(HAM: HAM6, EHB: on)"), std::string::npos) << run.standardOutput;

    const auto jsonRun = runTool({"info", "--json", file.string()});
    ASSERT_EQ(jsonRun.exitStatus, 0) << jsonRun.standardError;
    const json facts = json::parse(jsonRun.standardOutput);
    EXPECT_EQ(facts["operations"], json::parse(R"json([
        {"kind": "keyframe", "frames": 1},
        {"kind": "delta", "operation": 5, "name": "Byte Vertical Delta (ANIM-5)", "frames": 2},
        {"kind": "delta", "operation": 7, "name": "Short/Long Vertical Delta (ANIM-7)", "frames": 1}])json"));
    EXPECT_EQ(facts["interleave"], json::parse(R"json({"previousFrame": 2, "twoFramesBack": 1})json"));
}

// The JSON object agrees with what the parser says of the same file.
void expectJsonMatchesParser(const std::filesystem::path& path) {
    SCOPED_TRACE(path.filename().string());
    const auto run = runTool({"info", "--json", path.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    ASSERT_TRUE(json::accept(run.standardOutput)) << run.standardOutput;
    const json facts = json::parse(run.standardOutput);
    const auto parser = parseFile(path);

    EXPECT_EQ(facts["file"], path.string());
    EXPECT_EQ(facts["width"], parser->width());
    EXPECT_EQ(facts["height"], parser->height());
    EXPECT_EQ(facts["planes"], parser->numPlanes());
    EXPECT_EQ(facts["masking"], parser->bitmapHeader().masking);
    EXPECT_EQ(facts["compression"], parser->bitmapHeader().compression);
    EXPECT_EQ(facts["camg"], parser->camgMode());
    EXPECT_EQ(facts["ham"], parser->isHAM());
    EXPECT_EQ(facts["ehb"], parser->isEHB());
    EXPECT_EQ(facts["aspect"]["x"], parser->bitmapHeader().xAspect);
    EXPECT_EQ(facts["aspect"]["y"], parser->bitmapHeader().yAspect);
    EXPECT_EQ(facts["frameCount"], parser->numFrames());
    EXPECT_EQ(facts["dpanSpeed"], parser->dpanSpeed());

    std::uint64_t counted = 0;
    for (const json& use : facts["operations"]) counted += use["frames"].get<std::uint64_t>();
    EXPECT_EQ(counted, parser->numFrames());
    const std::uint64_t deltas = facts["interleave"]["previousFrame"].get<std::uint64_t>() +
                                 facts["interleave"]["twoFramesBack"].get<std::uint64_t>();
    const auto frames = parser->frames();
    EXPECT_EQ(deltas, std::count_if(frames.begin(), frames.end(), [](const auto& f) { return !f->isKeyframe; }));

    const MediaTime total = MediaTime::make(facts["totalDuration"]["value"].get<std::int64_t>(),
                                            facts["totalDuration"]["timescale"].get<std::int32_t>());
    EXPECT_EQ(total, parser->totalDuration());
    EXPECT_NEAR(facts["totalDuration"]["seconds"].get<double>(), parser->totalDuration().seconds(), 1e-9);
    const MediaTime first = MediaTime::make(facts["firstFrameDuration"]["value"].get<std::int64_t>(),
                                            facts["firstFrameDuration"]["timescale"].get<std::int32_t>());
    EXPECT_EQ(first, parser->frameAtIndex(0).duration);
    if (!parser->isHAM() && !parser->isEHB()) {
        EXPECT_EQ(facts["colors"], parser->numColors());
    }
}

TEST(ToolInfo, JsonMatchesTheParserForTheDemoAndEveryCorpusFile) {
    expectJsonMatchesParser(kDemo);
    for (const auto& animation : testing::corpusAnimations()) expectJsonMatchesParser(animation.file);
}

// The catalogue's JSON cells are stored CSV-style: quoted, with doubled quotes.
json catalogueCell(std::string cell) {
    if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"') cell = cell.substr(1, cell.size() - 2);
    cell = std::regex_replace(cell, std::regex("\"\""), "\"");
    return json::parse(cell);
}

TEST(ToolInfo, OperationsAndInterleaveAgreeWithTheCorpusCatalogue) {
    if (!testing::haveCorpus()) GTEST_SKIP() << "corpus not present";
    const auto rows = testing::readLines(testing::corpusDir() / "anim" / "CATALOG.tsv");
    ASSERT_GT(rows.size(), 1u);
    std::vector<std::string> header;
    {
        std::istringstream in(rows[0]);
        for (std::string cell; std::getline(in, cell, '\t');) header.push_back(cell);
    }
    auto column = [&](const std::string& name) {
        return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    };
    for (std::size_t r = 1; r < rows.size(); ++r) {
        std::vector<std::string> cells;
        std::istringstream in(rows[r]);
        for (std::string cell; std::getline(in, cell, '\t');) cells.push_back(cell);
        const std::string name = cells[column("file")];
        SCOPED_TRACE(name);
        auto path = testing::corpusDir() / "anim" / "real" / name;
        if (!std::filesystem::exists(path)) path = testing::corpusDir() / "anim" / "generated" / name;
        ASSERT_TRUE(std::filesystem::exists(path));

        const auto run = runTool({"info", "--json", path.string()});
        ASSERT_EQ(run.exitStatus, 0) << run.standardError;
        const json facts = json::parse(run.standardOutput);
        EXPECT_EQ(facts["width"], std::stoull(cells[column("width")]));
        EXPECT_EQ(facts["height"], std::stoull(cells[column("height")]));
        EXPECT_EQ(facts["planes"], std::stoull(cells[column("planes")]));
        EXPECT_EQ(facts["frameCount"], std::stoull(cells[column("nframes")]));

        // The catalogue counts frames by ANHD operation; the key frame is
        // its "0" or, without an ANHD, "noANHD".
        std::uint64_t keyframes = 0;
        std::map<int, std::uint64_t> deltas;
        const json operations = catalogueCell(cells[column("ops")]);
        for (const auto& [operation, count] : operations.items()) {
            if (operation == "0" || operation == "noANHD")
                keyframes += count.get<std::uint64_t>();
            else
                deltas[std::stoi(operation)] += count.get<std::uint64_t>();
        }
        std::uint64_t gotKeyframes = 0;
        std::map<int, std::uint64_t> gotDeltas;
        for (const json& use : facts["operations"]) {
            if (use["kind"] == "keyframe")
                gotKeyframes = use["frames"];
            else
                gotDeltas[use["operation"].get<int>()] = use["frames"];
        }
        EXPECT_EQ(gotKeyframes, keyframes);
        EXPECT_EQ(gotDeltas, deltas);

        const json interleave = catalogueCell(cells[column("interleave")]);
        EXPECT_EQ(facts["interleave"]["previousFrame"], interleave.value("1", 0));
        EXPECT_EQ(facts["interleave"]["twoFramesBack"], interleave.value("0", 0));
    }
}

}  // namespace
}  // namespace velarium
