// Where extraction deliberately does better than lhasa's raw behaviour: no
// write through a link already in the destination, permissions without
// special bits and within the umask, files already there replaced only by
// intact copies and only when allowed, and a damaged archive that says so.
// And what it deliberately keeps: later duplicates win, names are written
// as they are.
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

struct RestoresUmask {
    mode_t previous;
    ~RestoresUmask() { ::umask(previous); }
};

TEST_F(Mends, ModesLoseSpecialBitsKeepTheOwnersReadAndWriteAndFollowTheUmask) {
    // perms.lzh holds modes 0000, 04755 and 0444 with owners 0:0 and
    // 1000:1000, and a folder of mode 0000 with a file inside; the OS-9
    // archive holds a file of mode 0622, writable by everyone else.
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive + " " + c.file + " under umask 0" + std::to_string(c.umask));
        const RestoresUmask restores{::umask(c.umask)};
        fs::remove_all(destination());
        const ExtractionRun run = extractArchiveInto(lhaCorpusDir() / c.archive, destination());
        ASSERT_TRUE(run.succeeded);
        EXPECT_TRUE(run.report.failed.empty());
        const struct stat info = lstatOf(destination() / c.file);
        EXPECT_EQ(info.st_mode & (S_IFDIR | 07777), c.mode);
        // The archive's owners are not applied, as root either.
        EXPECT_EQ(info.st_uid, ::geteuid());
        EXPECT_EQ(info.st_gid, ::getegid());
        // The mode-0000 animation can be read, so it is offered.
        if (c.archive == perms) {
            EXPECT_EQ(run.report.animPaths, std::vector<std::string>{"noperm.anim"});
        }
    }
}

// Containment shows that nothing is written through these same links.
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

        EXPECT_EQ(readText(destination() / "top.anim").substr(0, 4), replace ? "FORM" : "mine");
        EXPECT_EQ(fs::is_symlink(destination() / "picture.iff"), !replace);
        using Names = std::vector<std::string>;
        EXPECT_EQ(intact.report.keptExisting, replace ? Names() : Names({"picture.iff", "top.anim"}));
        // A copy that failed its CRC never takes a file's place; where there
        // was none, it stays as lhasa decoded it (the whole, unchecked content).
        EXPECT_EQ(readText(destination() / "bad00.txt"), "mine\n");
        EXPECT_EQ(damaged.report.failed.size(), replace ? 10u : 9u);
        EXPECT_EQ(damaged.report.keptExisting, replace ? Names() : Names({"bad00.txt"}));
        for (std::size_t i = 1; i < 10; ++i)
            EXPECT_EQ(fs::file_size(destination() / ("bad0" + std::to_string(i) + ".txt")), 16 * (i + 1));
    }
}

TEST_F(Mends, AnArchiveThatStopsEarlySaysSoAndPaddingDoesNot) {
    // The real archives lhasa stops reading early are those where it returns
    // fewer entries than an independent parser found headers (CATALOG.tsv);
    // 13 others carry padding after their last entry. Archives lhasa reads
    // no entry of are unreadable instead.
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

// Within one run a name is the archive's to write, whatever the policy.
TEST_F(Mends, LaterDuplicatesWinAndAFileUnderAFileFails) {
    const auto archive = generatedArchive("duplicates.lzh");
    if (!archive) GTEST_SKIP() << "python3 could not make duplicates.lzh";
    for (const ExistingFiles existing : {ExistingFiles::Replace, ExistingFiles::Keep}) {
        fs::remove_all(destination());
        const ExtractionRun run = extractArchiveInto(*archive, destination(), existing);
        ASSERT_TRUE(run.succeeded);
        EXPECT_EQ(readText(destination() / "dup.txt"), "second copy wins?\n");
        // lhasa lower-cases the level-0 "README.TXT"; the level-2 entry comes later.
        EXPECT_EQ(readText(destination() / "readme.txt"), "lower case, level 2\n");
        EXPECT_EQ(run.report.failed, failures({"Anims/x.anim"}, EntryFailure::NotAFolder));
        EXPECT_TRUE(run.report.keptExisting.empty());
    }
}

TEST_F(Mends, NamesAreWrittenAsTheyAreUnlessTheFileSystemRefusesThem) {
    const auto archive = generatedArchive("weird_names.lzh");
    if (!archive) GTEST_SKIP() << "python3 could not make weird_names.lzh";
    const ExtractionRun run = extractArchiveInto(*archive, destination());
    ASSERT_TRUE(run.succeeded);
    std::string deep;
    for (int i = 0; i < 40; ++i) deep += (i < 10 ? "d0" : "d") + std::to_string(i) + "/";
    for (const std::string& name : {std::string("ctl\x1b[31mred\x07.txt"), std::string("new\nline.txt"),
                                    deep + "deep.txt", std::string("back\\slash.txt"), std::string("a:b*c?.txt"),
                                    std::string(" lead and trail space .txt")})
        EXPECT_TRUE(fs::is_regular_file(destination() / name)) << name;
    // A 300-byte name is longer than the file system allows (NAME_MAX).
    EXPECT_EQ(run.report.failed, failures({std::string(300, 'a') + ".txt"}, EntryFailure::CannotWrite));
}

}  // namespace
}  // namespace velarium
