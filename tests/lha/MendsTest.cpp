// Where extraction does better than lhasa: no write through a link in the
// destination, modes without special bits and within the umask, files there
// replaced only by intact copies and only when allowed, a damaged archive
// that says so. And what it keeps: later duplicates win, names as they are.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "lha/LHATestSupport.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace testing;

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

std::vector<FailedEntry> failures(const std::vector<std::string>& paths, EntryFailure reason) {
    std::vector<FailedEntry> out;
    for (const std::string& path : paths) out.push_back({path, reason});
    return out;
}

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
        std::vector<std::string> failed;
        std::vector<std::string> extracted;
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
        EXPECT_EQ(run.report.failed,
                  failures(c.failed, c.blockerIsLink ? EntryFailure::RunsIntoLink : EntryFailure::NotAFolder));
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
        std::vector<std::string> fields(4);
        std::istringstream cells(row);
        for (std::string& field : fields) std::getline(cells, field, '\t');
        if (fields[0] != "archive") expected["real/archives/" + fields[0]] = std::stoi(fields[2]) < std::stoi(fields[3]);
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
