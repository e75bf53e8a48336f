// Extraction checked row by row against the corpus's EXPECTED.tsv: what
// lhasa 0.3.1 reports for every entry of the crafted, jlha and 13 real
// archives, and the cleaned path of each; content against lhasa's reader.
// Two rows hold only because of the mends: the mode 0000 "noperm.anim" is
// still an animation to an unprivileged user, and "lockeddir/inside.txt" is
// written because no folder is made with mode 0000.
#include <gtest/gtest.h>

#include "lha/LHATestSupport.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace testing;

struct ExpectedRow {
    std::string kind;  // file, dir or symlink
    std::uint64_t length = 0;
    std::string extractResult;  // "1", "0", or "-" when not extracted
    std::string appPath;        // empty when the entry is ignored
    bool startsWithANIM = false;
};

struct ExpectedArchive {
    std::string id;  // e.g. "crafted__anims_l2.lzh" for crafted/anims_l2.lzh
    std::vector<ExpectedRow> rows;
};

void PrintTo(const ExpectedArchive& archive, std::ostream* os) { *os << archive.id; }

std::vector<ExpectedArchive> expectedArchives() {
    std::vector<ExpectedArchive> archives;
    const std::vector<std::string> lines = readLines(lhaCorpusDir() / "EXPECTED.tsv");
    for (std::size_t n = 1; n < lines.size(); ++n) {  // after the column names
        std::vector<std::string> fields;
        std::istringstream cells(lines[n]);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (fields.size() < 13) continue;
        // A cleaned path's \xNN is U+00NN, written here as UTF-8.
        std::string cleaned;
        for (std::size_t i = 0; i < fields[10].size(); ++i) {
            if (fields[10].compare(i, 2, "\\x") != 0) {
                cleaned += fields[10][i];
                continue;
            }
            const int code = std::stoi(fields[10].substr(i + 2, 2), nullptr, 16);
            if (code < 0x80) cleaned += static_cast<char>(code);
            else cleaned += {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
            i += 3;
        }
        if (archives.empty() || archives.back().id != fields[0]) archives.push_back({fields[0], {}});
        archives.back().rows.push_back({fields[4], std::stoull(fields[8]), fields[9],
                                        fields[10] == "(empty: ignore)" ? "" : cleaned, fields[12] == "yes"});
    }
    return archives;
}

class ExpectedResults : public ::testing::TestWithParam<ExpectedArchive> {};

TEST_P(ExpectedResults, PathsOutcomesContentAndAnimationsMatchTheTable) {
    const ExpectedArchive& expected = GetParam();
    std::string relative = expected.id;
    for (std::size_t at; (at = relative.find("__")) != std::string::npos;) relative.replace(at, 2, "/");
    std::optional<fs::path> archive = lhaCorpusDir() / relative;
    if (expected.id == std::string("crafted__") + kLargeArchive && !(archive = generatedArchive(kLargeArchive)))
        GTEST_SKIP() << "python3 could not make " << kLargeArchive;

    // What the report must list, in archive order (each path cleaned from lhasa's raw names).
    ExtractionReport wanted;
    std::vector<std::string> wantedFailed;
    for (const ExpectedRow& row : expected.rows) {
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
    const ExtractionReport& report = run.report;
    EXPECT_TRUE(run.succeeded) << run.error.localizedDescription;
    EXPECT_EQ(report.fileCount, wanted.fileCount);
    EXPECT_EQ(report.totalBytes, wanted.totalBytes);
    EXPECT_EQ(report.extracted, wanted.extracted);
    std::vector<std::string> failed;
    for (const FailedEntry& entry : report.failed) failed.push_back(entry.path);
    EXPECT_EQ(failed, wantedFailed);
    EXPECT_EQ(report.skippedLinks, wanted.skippedLinks);
    EXPECT_EQ(report.animPaths, wanted.animPaths);

    // On disk: files hold what lhasa's reader decodes, folders are folders, links were not made.
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

// Names no archive of the table holds: each header string is UTF-8, else
// ISO Latin-1; empty, "." and ".." components are dropped.
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
