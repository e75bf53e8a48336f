// Preparing the destination folder, and archives that cannot be read.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "lha/LHATestSupport.h"
#include "platform/foundation/SystemError.h"
#include "support/LHAArchives.h"
#include "support/TemporaryFolder.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace testing;

TEST(PrepareDestination, UsesAFolderCreatesAMissingOneAndRefusesAnythingElse) {
    TemporaryFolder folder;
    fs::create_directory(folder / "existing");
    std::ofstream(folder / "existing" / "kept.txt") << "kept";
    std::ofstream(folder / "file") << "a file";
    fs::create_directory_symlink(folder / "existing", folder / "link-to-folder");
    fs::create_symlink(folder / "nowhere", folder / "dangling");
    const std::string fileExists = "Choose a different name for the folder.";

    struct Case {
        std::string destination;
        bool succeeds;
        std::string domain = {};
        long code = 0;
        std::string suggestion = {};
    };
    const std::vector<Case> cases = {
        {"existing", true},
        {"new/nested/folder", true},
        {"link-to-folder", true},  // the folder the user chose, through a link
        {"file", false, kLHAErrorDomain, kLHAErrorDestinationIsAFile,
         "A file named “file” already exists there. " + fileExists},
        {"file/", false, kLHAErrorDomain, kLHAErrorDestinationIsAFile,
         "A file named “file” already exists there. " + fileExists},
        {"dangling", false, kLHAErrorDomain, kLHAErrorDestinationIsAFile,
         "A file named “dangling” already exists there. " + fileExists},
        {"file/inside", false, kPOSIXErrorDomain, ENOTDIR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination);
        Error error;
        EXPECT_EQ(prepareDestination(folder / c.destination, &error), c.succeeds);
        if (c.succeeds) {
            EXPECT_TRUE(fs::is_directory(folder / c.destination));
            continue;
        }
        EXPECT_EQ(error.domain, c.domain);
        EXPECT_EQ(error.code, c.code);
        if (c.code == kLHAErrorDestinationIsAFile) {
            EXPECT_EQ(error.localizedDescription, "The folder could not be created.");
            EXPECT_EQ(error.recoverySuggestion, c.suggestion);
        }
    }
    EXPECT_TRUE(fs::exists(folder / "existing" / "kept.txt"));
    EXPECT_TRUE(fs::is_regular_file(folder / "file"));
}

TEST(UnreadableArchive, FailsWithErrorTwoAndLeavesTheEmptyDestination) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    TemporaryFolder folder;
    // Zero entries, as lhasa 0.3.1 reads them: no archive at all, a valid
    // empty one, a false signature before a real archive, a folder, a level-0
    // archive whose first entry lhasa cannot read, and a missing file.
    const std::vector<fs::path> archives = {
        lhaCorpusDir() / "crafted/empty.lha",
        lhaCorpusDir() / "crafted/text.lha",
        lhaCorpusDir() / "crafted/end_marker_only.lzh",
        lhaCorpusDir() / "crafted/false_signature.lha",
        lhaCorpusDir() / "crafted",
        lhaCorpusDir() / "real/archives/lha_unix114i/h0_subdir.lzh",
        folder / "missing.lzh",
    };
    int n = 0;
    for (const fs::path& archive : archives) {
        SCOPED_TRACE(archive.string());
        const fs::path destination = folder / ("out" + std::to_string(++n));
        const ExtractionRun run = extractArchiveInto(archive, destination);
        EXPECT_FALSE(run.succeeded);
        EXPECT_EQ(run.error.domain, kLHAErrorDomain);
        EXPECT_EQ(run.error.code, kLHAErrorArchiveUnreadable);
        EXPECT_EQ(run.error.localizedDescription, "The archive could not be read.");
        EXPECT_EQ(run.error.recoverySuggestion,
                  "“" + archive.filename().string() + "” is not an LHA archive, or it is damaged.");
        EXPECT_TRUE(fs::is_directory(destination));
        EXPECT_TRUE(fs::is_empty(destination));
    }
}

TEST(UnreadableArchive, ADestinationThatVanishedGivesTheSystemsError) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    TemporaryFolder folder;
    ArchiveExtractor extractor(lhaCorpusDir() / "jlha/multi_lh5_l2.lzh", folder / "never-made");
    Error error;
    EXPECT_FALSE(extractor.extractArchive({}, &error));
    EXPECT_EQ(error.domain, kPOSIXErrorDomain);
    EXPECT_EQ(error.code, ENOENT);
}

// The fuzzer's way in: the same archive from memory extracts as from its file.
TEST(ArchiveInMemory, ExtractsAsItsFileDoesAndNoBytesAreNoArchive) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    TemporaryFolder folder;
    const auto archive = lhaCorpusDir() / "crafted/broken_l2_header_crc.lzh";
    const std::vector<std::uint8_t> bytes = readFileBytes(archive);
    ArchiveExtractor fromMemory(ArchiveSource::inMemory(bytes.data(), bytes.size(), "memory.lzh"), folder / "memory");
    ASSERT_TRUE(prepareDestination(folder / "memory", nullptr));
    ASSERT_TRUE(fromMemory.extractArchive({}, nullptr));
    const ExtractionRun fromFile = extractArchiveInto(archive, folder / "file");
    EXPECT_EQ(fromMemory.report().extracted, fromFile.report.extracted);
    EXPECT_EQ(fromMemory.report().animPaths, fromFile.report.animPaths);
    EXPECT_TRUE(fromMemory.report().stoppedEarly && fromFile.report.stoppedEarly);
    EXPECT_EQ(readText(folder / "memory/second.anim"), readText(folder / "file/second.anim"));

    ArchiveExtractor empty(ArchiveSource::inMemory(bytes.data(), 0, "nothing.lzh"), folder / "memory");
    Error error;
    EXPECT_FALSE(empty.extractArchive({}, &error));
    EXPECT_EQ(error.recoverySuggestion, "“nothing.lzh” is not an LHA archive, or it is damaged.");
}

}  // namespace
}  // namespace velarium
