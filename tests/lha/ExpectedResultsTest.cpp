// Extraction checked row by row against the corpus's EXPECTED.tsv: what
// lhasa 0.3.1 itself reports for every entry of the crafted, jlha and 13 real
// archives, and the path the cleaning rule gives each; content against what
// lhasa's reader decodes. Two rows hold only because of the mends: the mode
// 0000 "noperm.anim" is still recognised as an animation when extracting as
// an unprivileged user, and "lockeddir/inside.txt" is written because
// folders are never created with an archived mode of 0000.
#include <gtest/gtest.h>

#include <fstream>

#include "lha/LHATestSupport.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace testing;

struct ExpectedRow {
    std::string kind;  // file, dir or symlink
    std::optional<std::string> path, filename;
    std::uint64_t length = 0;
    std::string extractResult;  // "1", "0", or "-" when not extracted
    std::string appPath;        // empty when the entry is ignored
    bool startsWithANIM = false;
};

struct ExpectedArchive {
    std::string id;  // e.g. "crafted__anims_l2.lzh"
    std::vector<ExpectedRow> rows;
};

void PrintTo(const ExpectedArchive& archive, std::ostream* os) { *os << archive.id; }

// The table's names: NULL for a null pointer, \xNN for a byte (raw names)
// or for U+00NN (cleaned paths, which are UTF-8).
std::optional<std::string> unescaped(const std::string& field, bool asLatin1) {
    if (field == "NULL") return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field.compare(i, 2, "\\x") != 0 || i + 3 >= field.size()) {
            out += field[i];
            continue;
        }
        const int code = std::stoi(field.substr(i + 2, 2), nullptr, 16);
        if (asLatin1 && code >= 0x80) out += {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
        else out += static_cast<char>(code);
        i += 3;
    }
    return out;
}

std::vector<ExpectedArchive> expectedArchives() {
    std::vector<ExpectedArchive> archives;
    std::ifstream table(lhaCorpusDir() / "EXPECTED.tsv");
    std::string line;
    std::getline(table, line);  // column names
    while (std::getline(table, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (fields.size() < 13) continue;
        if (archives.empty() || archives.back().id != fields[0]) archives.push_back({fields[0], {}});
        const std::string cleaned = fields[10] == "(empty: ignore)" ? "" : *unescaped(fields[10], true);
        archives.back().rows.push_back({fields[4], unescaped(fields[5], false), unescaped(fields[6], false),
                                        std::stoull(fields[8]), fields[9], cleaned, fields[12] == "yes"});
    }
    return archives;
}

// "crafted__x.lzh" is crafted/x.lzh in the corpus; the 50 MB archive is made.
std::optional<fs::path> archiveFile(const std::string& id) {
    if (id == std::string("crafted__") + kLargeArchive) return generatedArchive(kLargeArchive);
    fs::path path = lhaCorpusDir();
    std::size_t start = 0;
    for (std::size_t at; (at = id.find("__", start)) != std::string::npos; start = at + 2)
        path /= id.substr(start, at - start);
    return path / id.substr(start);
}

class ExpectedResults : public ::testing::TestWithParam<ExpectedArchive> {};

TEST_P(ExpectedResults, PathsOutcomesContentAndAnimationsMatchTheTable) {
    const ExpectedArchive& expected = GetParam();
    const auto archive = archiveFile(expected.id);
    if (!archive) GTEST_SKIP() << "python3 could not make " << expected.id;

    // What the report must list, in archive order; and the cleaning rule on
    // the raw names, as lhasa returns them.
    ExtractionReport wanted;
    std::vector<std::string> wantedFailed;
    for (const ExpectedRow& row : expected.rows) {
        EXPECT_EQ(relativePathForEntry(row.path ? row.path->c_str() : nullptr,
                                       row.filename ? row.filename->c_str() : nullptr),
                  row.appPath);
        if (row.kind == "file") {  // links are "-lhd-" entries, like folders
            ++wanted.fileCount;
            wanted.totalBytes += row.length;
        }
        if (row.appPath.empty()) continue;
        if (row.kind == "symlink") {
            wanted.skippedLinks.push_back(row.appPath);
        } else if (row.kind == "dir" || row.extractResult == "1") {
            wanted.extracted.push_back(row.appPath);
            if (row.startsWithANIM) wanted.animPaths.push_back(row.appPath);
        } else {
            wantedFailed.push_back(row.appPath);
        }
    }

    TemporaryFolder folder;
    const auto destination = folder / "out";
    const ExtractionRun run = extractArchiveInto(*archive, destination);
    ASSERT_TRUE(run.succeeded) << run.error.localizedDescription;
    const ExtractionReport& report = run.report;
    EXPECT_EQ(report.fileCount, wanted.fileCount);
    EXPECT_EQ(report.totalBytes, wanted.totalBytes);
    EXPECT_EQ(report.extracted, wanted.extracted);
    std::vector<std::string> failed;
    for (const FailedEntry& entry : report.failed) failed.push_back(entry.path);
    EXPECT_EQ(failed, wantedFailed);
    EXPECT_EQ(report.skippedLinks, wanted.skippedLinks);
    EXPECT_EQ(report.animPaths, wanted.animPaths);

    // On disk: each extracted file holds what lhasa's reader decodes for its
    // entry; folders are folders; links were not made.
    const auto reference = readReferenceEntries(*archive);
    ASSERT_EQ(reference.size(), expected.rows.size());
    for (std::size_t i = 0; i < expected.rows.size(); ++i) {
        const ExpectedRow& row = expected.rows[i];
        if (row.appPath.empty()) continue;
        SCOPED_TRACE("entry " + std::to_string(i + 1) + ": " + row.appPath);
        const fs::file_status onDisk = fs::symlink_status(destination / row.appPath);
        if (row.kind == "dir") {
            EXPECT_TRUE(fs::is_directory(onDisk));
        } else if (row.kind == "symlink") {
            EXPECT_FALSE(fs::is_symlink(onDisk));
        } else if (row.extractResult == "1") {
            ASSERT_TRUE(fs::is_regular_file(onDisk));
            EXPECT_TRUE(readFileBytes(destination / row.appPath) == reference[i].data) << "content differs";
        } else if (lha_decoder_for_name(const_cast<char*>(reference[i].method.c_str()))) {
            // A failed file stays as lhasa left it (not for a method it cannot decode).
            EXPECT_TRUE(fs::is_regular_file(onDisk));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, ExpectedResults, ::testing::ValuesIn(expectedArchives()),
                         [](const auto& info) { return testNameFrom(info.param.id); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ExpectedResults);

// The cleaning rule on names no archive of the table holds: each header
// string read as UTF-8, else as ISO Latin-1, then empty, "." and ".."
// components dropped.
TEST(EntryPath, CleansComponentsAndDecodesEachHeaderStringOnItsOwn) {
    struct Case {
        const char *path, *filename;
        std::string expected;
    } const cases[] = {
        {nullptr, "x", "x"}, {nullptr, nullptr, ""}, {"./", nullptr, ""}, {"", ".", ""}, {"../", ".", ""},
        {"../../etc/", "x", "etc/x"}, {"///tmp//./", "abs5", "tmp/abs5"},
        {"a/../../../etc/", "mid.txt", "a/etc/mid.txt"},  // ".." is dropped, not resolved
        {"..../", "..bar", "..../..bar"},  // names that only start with dots are names
        {"etc", "nul.txt", "etcnul.txt"},  // strings are joined as they are
        {"caf\xc3\xa9/", "\xe9.txt", "caf\xc3\xa9/\xc3\xa9.txt"},  // UTF-8 path, Latin-1 file name
        {nullptr, "\xc0\xaf", "\xc3\x80\xc2\xaf"},                 // overlong '/' is Latin-1, not a separator
        {nullptr, "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},     // a surrogate is not UTF-8
        {nullptr, "\xf0\x9f\x8e\x9e.anim", "\xf0\x9f\x8e\x9e.anim"},
        {nullptr, "ctl\x1b[31mred\x07.txt", "ctl\x1b[31mred\x07.txt"},  // kept as they are
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path ? c.path : "(null)") + " + " + (c.filename ? c.filename : "(null)"));
        EXPECT_EQ(relativePathForEntry(c.path, c.filename), c.expected);
    }
}

}  // namespace
}  // namespace velarium
