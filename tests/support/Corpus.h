#pragma once

// Access to the shared corpus of real ANIM files; tests skip when it is absent.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/coremedia/MediaTime.h"

namespace velarium::testing {

inline std::filesystem::path corpusDir() { return VELARIUM_CORPUS_DIR; }
inline bool haveCorpus() { return std::filesystem::is_directory(corpusDir() / "anim"); }

inline std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path) {
    const std::string bytes = readWholeFile(path);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

inline std::vector<std::string> readLines(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// The cells of a row of tab-separated values.
inline std::vector<std::string> tabCells(const std::string& row) {
    std::vector<std::string> cells;
    std::istringstream in(row);
    for (std::string cell; std::getline(in, cell, '\t');) cells.push_back(cell);
    return cells;
}

struct CorpusAnimation {
    std::string name;                 // file name, e.g. "mm_op5_ehb_320x200.anim"
    std::filesystem::path file;
    std::filesystem::path expectedHashes;  // one SHA-256 per frame
    std::filesystem::path expectedTiming;  // one duration per frame
};

// Names the animation in test output instead of dumping its bytes.
inline void PrintTo(const CorpusAnimation& animation, std::ostream* os) { *os << animation.name; }

// Every animation of real/, generated/ and vectors/ that has expected results:
// under expected/ for the first two, beside the file for vectors/.
inline std::vector<CorpusAnimation> corpusAnimations() {
    std::vector<CorpusAnimation> out;
    const auto anim = corpusDir() / "anim";
    for (const std::string folder : {"real", "generated", "vectors"}) {
        if (!std::filesystem::is_directory(anim / folder)) continue;
        const bool vector = folder == "vectors";
        for (const auto& entry : std::filesystem::directory_iterator(anim / folder)) {
            const auto& path = entry.path();
            if (vector && path.extension() != ".anim") continue;
            const auto stem = vector ? path.parent_path() / path.stem() : anim / "expected" / path.filename();
            out.push_back({path.filename().string(), path, stem.string() + ".sha256", stem.string() + ".timing.tsv"});
        }
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return out;
}

// Those of the given names.
inline std::vector<CorpusAnimation> corpusAnimations(const std::vector<std::string>& names) {
    auto out = corpusAnimations();
    std::erase_if(out, [&](const auto& a) { return std::find(names.begin(), names.end(), a.name) == names.end(); });
    return out;
}

// A parameterised test's name from any text: what a test name cannot hold becomes '_'.
inline std::string testNameFrom(std::string name) {
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}
inline std::string corpusTestName(const ::testing::TestParamInfo<CorpusAnimation>& info) { return testNameFrom(info.param.name); }

// The frame durations of an expected-timing file: a header row, then one row
// per frame of index, value and timescale.
inline std::vector<MediaTime> expectedDurations(const std::filesystem::path& timingFile) {
    const auto rows = readLines(timingFile);
    std::vector<MediaTime> durations;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        long long index, value, timescale;
        std::istringstream(rows[i]) >> index >> value >> timescale;
        durations.push_back(MediaTime::make(value, static_cast<std::int32_t>(timescale)));
    }
    return durations;
}

}  // namespace velarium::testing
