// Where extraction deliberately does better than lhasa's raw behaviour:
// no write through a link already in the destination, no special permission
// bits and always the owner's read and write, and a damaged archive that
// says so. And what it deliberately keeps: later duplicates win, failed
// files stay as lhasa left them, names are written as they are.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "lha/LHATestSupport.h"
#include "lha/TreeSnapshot.h"
#include "support/Corpus.h"
#include "support/LHAArchives.h"
#include "support/TemporaryFolder.h"

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
    TemporaryFolder folder_;
};

struct stat statOf(const fs::path& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info;
}

TEST_F(Mends, ExtractedFilesKeepNoSpecialBitsAndStayReadableAndWritable) {
    // perms.lzh holds modes 0000, 04755 and 0444 with owners 0:0 and
    // 1000:1000, and a folder of mode 0000 with a file inside.
    const ExtractionRun run = extractArchiveInto(lhaCorpusDir() / "crafted/perms.lzh", destination());
    ASSERT_TRUE(run.succeeded);
    EXPECT_TRUE(run.report.failedPaths.empty());
    const std::vector<std::pair<std::string, mode_t>> expected = {
        {"noperm.anim", 0600}, {"setuid.bin", 0755}, {"readonly.txt", 0644}, {"lockeddir/inside.txt", 0644}};
    for (const auto& [name, mode] : expected) {
        SCOPED_TRACE(name);
        const struct stat info = statOf(destination() / name);
        EXPECT_EQ(info.st_mode & 07777, mode);
        // The archive's owners are not applied, as root either.
        EXPECT_EQ(info.st_uid, ::geteuid());
        EXPECT_EQ(info.st_gid, ::getegid());
    }
    EXPECT_EQ(statOf(destination() / "lockeddir").st_mode & S_IRWXU, static_cast<mode_t>(S_IRWXU));
    // The mode-0000 animation can be read, so it is offered.
    EXPECT_EQ(run.report.animPaths, std::vector<std::string>{"noperm.anim"});
}

TEST_F(Mends, AnEntryThatRunsIntoALinkOrAFileFailsAndWritesNothingThroughIt) {
    struct Case {
        std::string archive;
        std::string blocker;  // name in the destination
        bool blockerIsLink;   // else a plain file
        std::vector<std::string> failed;
        std::vector<std::string> extracted;
    };
    const std::vector<Case> cases = {
        {"crafted/traversal_l2.lzh", "etc", true, {"etc/x"}, {}},
        {"crafted/dirs_only.lzh", "dir2", true, {"dir2", "dir2"}, {"dir0", "dir1/sub", "Anims/Walk", "moded"}},
        {"crafted/anims_l1_nodirs.lzh", "Anims", true,
         {"Anims/Walk/x.anim", "Anims/Run/y.anim", "Anims/readme.txt", "Anims/Walk/notes.txt", "Anims/Run/fake.anim",
          "Anims/short.anim"},
         {"picture.iff", "top.anim"}},
        {"crafted/anims_l2.lzh", "Anims", false,
         {"Anims", "Anims/Walk", "Anims/Run", "Anims/Walk/x.anim", "Anims/Run/y.anim", "Anims/readme.txt",
          "Anims/Walk/notes.txt", "Anims/Run/fake.anim", "Anims/short.anim"},
         {"picture.iff", "top.anim"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        fs::remove_all(destination());
        fs::remove_all(outside());
        fs::create_directories(destination());
        fs::create_directories(outside());
        std::ofstream(outside() / "victim") << "victim\n";
        if (c.blockerIsLink)
            fs::create_directory_symlink(outside(), destination() / c.blocker);
        else
            std::ofstream(destination() / c.blocker) << "a file, not a folder\n";
        const TreeSnapshot outsideBefore = snapshotTree(outside());

        const ExtractionRun run = extractArchiveInto(lhaCorpusDir() / c.archive, destination());
        ASSERT_TRUE(run.succeeded);
        EXPECT_EQ(run.report.failedPaths, c.failed);
        const EntryFailure reason = c.blockerIsLink ? EntryFailure::RunsIntoLink : EntryFailure::NotAFolder;
        EXPECT_EQ(run.report.failureReasons, std::vector<EntryFailure>(c.failed.size(), reason));
        EXPECT_EQ(run.report.extracted, c.extracted);
        EXPECT_TRUE(snapshotDifferences(outsideBefore, snapshotTree(outside())).empty());
    }
}

TEST_F(Mends, ALinkAtAFilesOwnNameIsReplacedNotFollowed) {
    fs::create_directories(destination());
    fs::create_directories(outside());
    std::ofstream(outside() / "victim") << "victim\n";
    fs::create_symlink(outside() / "victim", destination() / "first.txt");
    fs::create_symlink(outside() / "never-made", destination() / "second.anim");  // dangling
    const TreeSnapshot outsideBefore = snapshotTree(outside());

    const ExtractionRun run = extractArchiveInto(lhaCorpusDir() / "crafted/broken_l2_header_crc.lzh", destination());
    ASSERT_TRUE(run.succeeded);
    EXPECT_EQ(run.report.extracted, (std::vector<std::string>{"first.txt", "second.anim"}));
    EXPECT_TRUE(snapshotDifferences(outsideBefore, snapshotTree(outside())).empty());
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(destination() / "first.txt")));
    EXPECT_EQ(readText(destination() / "first.txt"), "first\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(destination() / "second.anim")));
}

TEST_F(Mends, AnArchiveThatStopsEarlySaysSoAndPaddingDoesNot) {
    // The real archives lhasa stops reading early are those where it returns
    // fewer entries than an independent parser found headers (CATALOG.tsv);
    // 13 others carry padding after their last entry. Archives lhasa reads
    // no entry of are unreadable instead.
    std::map<std::string, bool> expected;
    std::ifstream catalog(lhaCorpusDir() / "CATALOG.tsv");
    std::string line;
    std::getline(catalog, line);
    while (std::getline(catalog, line)) {
        std::istringstream fields(line);
        std::string archive, levels, entries, rawHeaders;
        std::getline(fields, archive, '\t');
        std::getline(fields, levels, '\t');
        std::getline(fields, entries, '\t');
        std::getline(fields, rawHeaders, '\t');
        expected["real/archives/" + archive] = std::stoi(entries) < std::stoi(rawHeaders);
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

    int stopped = 0;
    for (const auto& [archive, stoppedEarly] : expected) {
        SCOPED_TRACE(archive);
        ArchiveExtractor extractor(lhaCorpusDir() / archive, destination());
        std::uint64_t count = 0;
        if (!extractor.measureArchive(&count)) continue;  // no entries: unreadable
        EXPECT_EQ(extractor.report().stoppedEarly, stoppedEarly);
        stopped += stoppedEarly;
        if (stoppedEarly && archive.rfind("crafted/", 0) == 0) {
            EXPECT_EQ(extractor.report().lastEntryPath, "second.anim");
        }
    }
    EXPECT_EQ(stopped, 7);
    if (const auto garbage = GeneratedArchives::shared().archive("broken_garbage_after2.lzh")) {
        ArchiveExtractor extractor(*garbage, destination());
        EXPECT_TRUE(extractor.measureArchive(nullptr));
        EXPECT_TRUE(extractor.report().stoppedEarly) << "64 random bytes, then a valid entry";
    }
}

TEST_F(Mends, EachFailureSaysWhy) {
    // A folder where decode_fail.lzh's first file goes.
    fs::create_directories(destination() / "ok1.txt");
    const ExtractionRun run = extractArchiveInto(lhaCorpusDir() / "crafted/decode_fail.lzh", destination());
    ASSERT_TRUE(run.succeeded);
    EXPECT_EQ(run.report.failedPaths,
              (std::vector<std::string>{"ok1.txt", "unknown_method.bin", "garbage_lh5.bin", "short_data.bin"}));
    EXPECT_EQ(run.report.failureReasons,
              (std::vector<EntryFailure>{EntryFailure::FolderInTheWay, EntryFailure::UnsupportedMethod,
                                         EntryFailure::DecodingFailed, EntryFailure::DecodingFailed}));
    EXPECT_EQ(run.report.extracted, (std::vector<std::string>{"clen_gt_length.bin", "ok2.txt"}));
}

TEST_F(Mends, FailedFilesStayAsLhasaLeftThem) {
    const ExtractionRun crc = extractArchiveInto(lhaCorpusDir() / "crafted/badcrc10.lzh", destination());
    ASSERT_TRUE(crc.succeeded);
    ASSERT_EQ(crc.report.failedPaths.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i)  // the whole (unchecked) content
        EXPECT_EQ(fs::file_size(destination() / crc.report.failedPaths[i]), 16 * (i + 1));
    const ExtractionRun cut = extractArchiveInto(lhaCorpusDir() / "crafted/truncated_in_data3.lzh", folder_ / "cut");
    EXPECT_EQ(cut.report.failedPaths, std::vector<std::string>{"third.txt"});
    EXPECT_EQ(fs::file_size(folder_ / "cut" / "third.txt"), 0u);
    EXPECT_FALSE(cut.report.stoppedEarly);
}

TEST_F(Mends, LaterDuplicatesWinAndAFileUnderAFileFails) {
    const auto archive = GeneratedArchives::shared().archive("duplicates.lzh");
    if (!archive) GTEST_SKIP() << "python3 could not make duplicates.lzh";
    const ExtractionRun run = extractArchiveInto(*archive, destination());
    ASSERT_TRUE(run.succeeded);
    EXPECT_EQ(readText(destination() / "dup.txt"), "second copy wins?\n");
    // lhasa lower-cases the level-0 "README.TXT"; the level-2 entry comes later.
    EXPECT_EQ(readText(destination() / "readme.txt"), "lower case, level 2\n");
    EXPECT_EQ(run.report.failedPaths, std::vector<std::string>{"Anims/x.anim"});
    EXPECT_EQ(run.report.failureReasons, std::vector<EntryFailure>{EntryFailure::NotAFolder});
}

TEST_F(Mends, NamesAreWrittenAsTheyAreUnlessTheFileSystemRefusesThem) {
    const auto archive = GeneratedArchives::shared().archive("weird_names.lzh");
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
    EXPECT_EQ(run.report.failedPaths, std::vector<std::string>{std::string(300, 'a') + ".txt"});
    EXPECT_EQ(run.report.failureReasons, std::vector<EntryFailure>{EntryFailure::CannotWrite});
}

}  // namespace
}  // namespace velarium
