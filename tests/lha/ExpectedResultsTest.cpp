// Extraction checked row by row against the corpus's EXPECTED.tsv: what
// lhasa 0.3.1 reports for every entry of the crafted, jlha and 13 real
// archives, and the cleaned path of each; content against lhasa's reader.
// Two rows hold only because of the mends: the mode 0000 "noperm.anim" is
// still an animation to an unprivileged user, and "lockeddir/inside.txt" is
// written because no folder is made with mode 0000.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

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
        const std::vector<std::string> fields = tabCells(lines[n]);
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


// Where extraction does better than lhasa: no write through a link in the
// destination, modes without special bits and within the umask, files there
// replaced only by intact copies and only when allowed, a damaged archive
// that says so. And what it keeps: later duplicates win, names as they are.
class Mends : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    }
    fs::path destination() const { return folder_ / "dest"; }
    fs::path outside() const { return folder_ / "outside"; }
    void freshFolders() {
        for (const fs::path& folder : {destination(), outside()}) {
            fs::remove_all(folder);
            fs::create_directories(folder);
        }
        std::ofstream(outside() / "victim") << "victim\n";
    }
    TemporaryFolder folder_;
};

TEST_F(Mends, ModesLoseSpecialBitsKeepTheOwnersReadAndWriteAndFollowTheUmask) {
    // perms.lzh: modes 0000, 04755, 0444, owners 0:0 and 1000:1000, a folder
    // of mode 0000 with a file inside; the OS-9 archive: a file of mode 0622.
    const std::string perms = "crafted/perms.lzh", os9 = "real/archives/lha_os9_211c/h0_lh0.lzh";
    struct Case {
        mode_t umask;
        std::string archive, file;
        mode_t mode;
    } const cases[] = {
        {022, perms, "noperm.anim", 0600},  {022, perms, "setuid.bin", 0755}, {022, perms, "readonly.txt", 0644},
        {022, perms, "lockeddir/inside.txt", 0644}, {022, perms, "lockeddir", S_IFDIR | 0755},
        {022, os9, "gpl2.gz", 0600},        {077, perms, "setuid.bin", 0700}, {077, perms, "readonly.txt", 0600},
        {077, perms, "lockeddir", S_IFDIR | 0700},  {002, os9, "gpl2.gz", 0620},
    };
    const mode_t previousUmask = ::umask(022);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive + " " + c.file + " under umask 0" + std::to_string(c.umask));
        ::umask(c.umask);
        fs::remove_all(destination());
        const ExtractionRun run = extractArchiveInto(lhaCorpusDir() / c.archive, destination());
        EXPECT_TRUE(run.succeeded && run.report.failed.empty());
        const struct stat info = lstatOf(destination() / c.file);
        EXPECT_EQ(info.st_mode & (S_IFDIR | 07777), c.mode);
        EXPECT_EQ(info.st_uid, ::geteuid()) << "the archive's owner applied";
        EXPECT_EQ(info.st_gid, ::getegid());
    }
    ::umask(previousUmask);
}

TEST_F(Mends, AnEntryThatRunsIntoALinkOrAFileFailsAndSaysWhy) {
    const std::vector<std::string> anims = {"Anims/Walk/x.anim",    "Anims/Run/y.anim",    "Anims/readme.txt",
                                            "Anims/Walk/notes.txt", "Anims/Run/fake.anim", "Anims/short.anim"};
    std::vector<std::string> animsWithFolders = {"Anims", "Anims/Walk", "Anims/Run"};
    animsWithFolders.insert(animsWithFolders.end(), anims.begin(), anims.end());
    struct Case {
        std::string archive;
        std::string blocker;  // name in the destination
        bool blockerIsLink;   // else a plain file
        std::vector<std::string> failed, extracted;
    } const cases[] = {
        {"crafted/traversal_l2.lzh", "etc", true, {"etc/x"}, {}},
        {"crafted/dirs_only.lzh", "dir2", true, {"dir2", "dir2"}, {"dir0", "dir1/sub", "Anims/Walk", "moded"}},
        {"crafted/anims_l1_nodirs.lzh", "Anims", true, anims, {"picture.iff", "top.anim"}},
        {"crafted/anims_l2.lzh", "Anims", false, animsWithFolders, {"picture.iff", "top.anim"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        freshFolders();
        if (c.blockerIsLink)
            fs::create_directory_symlink(outside(), destination() / c.blocker);
        else
            std::ofstream(destination() / c.blocker) << "a file, not a folder\n";
        const ExtractionRun run = extractArchiveInto(lhaCorpusDir() / c.archive, destination());
        ASSERT_TRUE(run.succeeded);
        std::vector<FailedEntry> failed;
        for (const std::string& path : c.failed)
            failed.push_back({path, c.blockerIsLink ? EntryFailure::RunsIntoLink : EntryFailure::NotAFolder});
        EXPECT_EQ(run.report.failed, failed);
        EXPECT_EQ(run.report.extracted, c.extracted);
    }
}

// A file, and a link pointing outside, already stand at names the archives
// use; one archive's copies are intact, the other's all fail their CRC.
TEST_F(Mends, FilesAlreadyThereAreReplacedOnlyByIntactCopiesAndOnlyWhenAllowed) {
    for (const ExistingFiles existing : {ExistingFiles::Replace, ExistingFiles::Keep}) {
        const bool replace = existing == ExistingFiles::Replace;
        SCOPED_TRACE(replace ? "replace" : "keep");
        freshFolders();
        std::ofstream(destination() / "top.anim") << "mine\n";
        std::ofstream(destination() / "bad00.txt") << "mine\n";
        fs::create_symlink(outside() / "victim", destination() / "picture.iff");
        const TreeSnapshot outsideBefore = snapshotTree(outside());

        const ExtractionRun intact = extractArchiveInto(lhaCorpusDir() / "crafted/anims_l2.lzh", destination(), existing);
        const ExtractionRun damaged = extractArchiveInto(lhaCorpusDir() / "crafted/badcrc10.lzh", destination(), existing);
        ASSERT_TRUE(intact.succeeded && damaged.succeeded);
        EXPECT_EQ(snapshotTree(outside()), outsideBefore);
        EXPECT_EQ(leftoverTemporaries(folder_.path()), std::vector<std::string>{});

        EXPECT_EQ(readWholeFile(destination() / "top.anim").substr(0, 4), replace ? "FORM" : "mine");
        EXPECT_EQ(fs::is_symlink(destination() / "picture.iff"), !replace);
        using Names = std::vector<std::string>;
        EXPECT_EQ(intact.report.keptExisting, replace ? Names() : Names({"picture.iff", "top.anim"}));
        // A copy that failed its CRC never takes a file's place; where there
        // was none, it stays as lhasa decoded it (the whole, unchecked content).
        EXPECT_EQ(readWholeFile(destination() / "bad00.txt"), "mine\n");
        EXPECT_EQ(damaged.report.failed.size(), replace ? 10u : 9u);
        EXPECT_EQ(damaged.report.keptExisting, replace ? Names() : Names({"bad00.txt"}));
        for (std::size_t i = 1; i < 10; ++i)
            EXPECT_EQ(fs::file_size(destination() / ("bad0" + std::to_string(i) + ".txt")), 16 * (i + 1));
    }
}

// lhasa stops early in the real archives where it returns fewer entries
// than an independent parser found headers (CATALOG.tsv); 13 others carry
// padding after their last entry. Those it reads no entry of are unreadable.
TEST_F(Mends, AnArchiveThatStopsEarlySaysSoAndPaddingDoesNot) {
    std::map<std::string, bool> expected;
    for (const std::string& row : readLines(lhaCorpusDir() / "CATALOG.tsv")) {
        const std::vector<std::string> fields = tabCells(row);
        if (fields.at(0) != "archive") expected["real/archives/" + fields[0]] = std::stoi(fields.at(2)) < std::stoi(fields.at(3));
    }
    ASSERT_EQ(expected.size(), 231u);
    // Crafted: a bad third header after two good entries, or a file cut off
    // inside it; data cut short shows as the failing entry instead.
    for (const char* name : {"broken_l0_checksum.lzh", "broken_l2_header_crc.lzh", "broken_level_byte.lzh",
                             "broken_ext_size.lzh", "broken_l2_no_filename.lzh", "truncated_in_header3.lzh"})
        expected[std::string("crafted/") + name] = true;
    for (const char* name : {"truncated_in_data3.lzh", "anims_l2.lzh", "text_then_archive.lha", "badcrc10.lzh"})
        expected[std::string("crafted/") + name] = false;
    for (const char* name : {"multi_lh5_l2.lzh", "multi_lh6_l1.lzh", "multi_lh7_l0.lzh"})
        expected[std::string("jlha/") + name] = false;

    // 64 random bytes, then a valid entry.
    const auto garbage = generatedArchive("broken_garbage_after2.lzh");
    if (garbage) expected[garbage->string()] = true;

    int stopped = 0;
    for (const auto& [archive, stoppedEarly] : expected) {
        SCOPED_TRACE(archive);
        ArchiveExtractor extractor(lhaCorpusDir() / archive, destination());
        if (!extractor.measureArchive(nullptr)) continue;  // no entries: unreadable
        EXPECT_EQ(extractor.report().stoppedEarly, stoppedEarly);
        stopped += stoppedEarly;
        if (stoppedEarly && archive.rfind("crafted/", 0) == 0) {
            EXPECT_EQ(extractor.report().lastEntryPath, "second.anim");
        }
    }
    EXPECT_EQ(stopped, garbage ? 8 : 7);
}

// Within one run a name is the archive's to write, whatever the policy: the
// later duplicate wins (lhasa lower-cases the level-0 "README.TXT"; a level-2
// "readme.txt" follows) and a file under a file fails. Names are written as
// they are unless the file system refuses them (300 bytes, over NAME_MAX).
TEST_F(Mends, LaterDuplicatesWinAndNamesAreWrittenAsTheyAre) {
    std::string deep;
    for (int i = 0; i < 40; ++i) deep += (i < 10 ? "d0" : "d") + std::to_string(i) + "/";
    using Files = std::map<std::string, std::string>;  // name, content
    const Files duplicates = {{"dup.txt", "second copy wins?\n"}, {"readme.txt", "lower case, level 2\n"}};
    struct Case {
        std::string archive;
        ExistingFiles existing;
        Files files;
        FailedEntry failed;
    } const cases[] = {
        {"duplicates.lzh", ExistingFiles::Replace, duplicates, {"Anims/x.anim", EntryFailure::NotAFolder}},
        {"duplicates.lzh", ExistingFiles::Keep, duplicates, {"Anims/x.anim", EntryFailure::NotAFolder}},
        {"weird_names.lzh", ExistingFiles::Replace,
         {{"ctl\x1b[31mred\x07.txt", "terminal escape in name\n"}, {"new\nline.txt", "newline in name\n"},
          {deep + "deep.txt", "40 directory levels\n"}, {"back\\slash.txt", "backslash kept literally at level 2\n"},
          {"a:b*c?.txt", "characters Windows forbids\n"}, {" lead and trail space .txt", "plain text\n"}},
         {std::string(300, 'a') + ".txt", EntryFailure::CannotWrite}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        const auto archive = generatedArchive(c.archive);
        if (!archive) GTEST_SKIP() << "python3 could not make " << c.archive;
        fs::remove_all(destination());
        const ExtractionRun run = extractArchiveInto(*archive, destination(), c.existing);
        EXPECT_EQ(run.report.failed, std::vector<FailedEntry>{c.failed});
        EXPECT_TRUE(run.report.keptExisting.empty());
        for (const auto& [name, content] : c.files) EXPECT_EQ(readWholeFile(destination() / name), content) << name;
    }
}

}  // namespace
}  // namespace velarium
