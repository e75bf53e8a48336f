// velarium-tool info --json, checked against the corpus catalogue and
// expected timings, which other tools produced. (The list info prints is
// checked with the other command lines.)
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "platform/coremedia/MediaTime.h"
#include "support/Corpus.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

using nlohmann::json;
using namespace testing;

std::vector<std::string> tabCells(const std::string& row) {
    std::vector<std::string> cells;
    std::istringstream in(row);
    for (std::string cell; std::getline(in, cell, '\t');) cells.push_back(cell);
    return cells;
}

// The catalogue's JSON cells are stored CSV-style: quoted, with doubled quotes.
json catalogueJson(std::string cell) {
    if (cell.size() >= 2 && cell.front() == '"') cell = cell.substr(1, cell.size() - 2);
    return json::parse(std::regex_replace(cell, std::regex("\"\""), "\""));
}

MediaTime timeFromJson(const json& time) {
    return MediaTime::make(time["value"].get<std::int64_t>(), time["timescale"].get<std::int32_t>());
}

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
