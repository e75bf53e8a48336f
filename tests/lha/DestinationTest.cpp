// The destination folder, archives that cannot be read, and archives in memory.
#include <gtest/gtest.h>

#include "lha/LHATestSupport.h"
#include "platform/foundation/SystemError.h"
#include "support/ErrorPrinting.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace testing;

TEST(PrepareDestination, UsesAFolderCreatesAMissingOneAndRefusesAnythingElse) {
    TemporaryFolder folder;
    folder.write("existing/kept.txt", "kept");
    folder.write("file", "a file");
    fs::create_directory_symlink(folder / "existing", folder / "link-to-folder");
    fs::create_symlink(folder / "nowhere", folder / "dangling");
    const auto named = [](const std::string& name) {
        return "A file named “" + name + "” already exists there. Choose a different name for the folder.";
    };
    struct Case {
        std::string destination, domain;  // no domain: succeeds
        long code;
        std::string suggestion;
    } const cases[] = {
        {"existing", "", 0, ""}, {"new/nested/folder", "", 0, ""}, {"link-to-folder", "", 0, ""},
        {"file", kLHAErrorDomain, kLHAErrorDestinationIsAFile, named("file")},
        {"file/", kLHAErrorDomain, kLHAErrorDestinationIsAFile, named("file")},
        {"dangling", kLHAErrorDomain, kLHAErrorDestinationIsAFile, named("dangling")},
        {"file/inside", kPOSIXErrorDomain, ENOTDIR, "" /* the system's words */},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination);
        Error error;
        EXPECT_EQ(prepareDestination(folder / c.destination, &error), c.domain.empty());
        EXPECT_EQ(fs::is_directory(folder / c.destination), c.domain.empty());
        EXPECT_EQ(error.domain, c.domain);
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.recoverySuggestion, c.suggestion);
    }
    EXPECT_TRUE(fs::exists(folder / "existing" / "kept.txt"));
    EXPECT_TRUE(fs::is_regular_file(folder / "file"));
}

TEST(UnreadableArchive, FailsWithErrorTwoAndLeavesTheEmptyDestination) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    TemporaryFolder folder;
    // No entries as lhasa 0.3.1 reads them: no archive, an empty one, a false
    // signature first, a folder, an unreadable first entry, a missing file.
    int n = 0;
    for (const fs::path& archive :
         {lhaCorpusDir() / "crafted/empty.lha", lhaCorpusDir() / "crafted/text.lha",
          lhaCorpusDir() / "crafted/end_marker_only.lzh", lhaCorpusDir() / "crafted/false_signature.lha",
          lhaCorpusDir() / "crafted", lhaCorpusDir() / "real/archives/lha_unix114i/h0_subdir.lzh", folder / "missing.lzh"}) {
        SCOPED_TRACE(archive.string());
        const fs::path destination = folder / ("out" + std::to_string(++n));
        const ExtractionRun run = extractArchiveInto(archive, destination);
        EXPECT_FALSE(run.succeeded);
        EXPECT_EQ(run.error, Error(kLHAErrorDomain, kLHAErrorArchiveUnreadable, "The archive could not be read.",
                                   "“" + archive.filename().string() + "” is not an LHA archive, or it is damaged."));
        EXPECT_TRUE(fs::is_directory(destination) && fs::is_empty(destination));
    }
    // A destination that vanished after it was prepared gives the system's error.
    ArchiveExtractor extractor(lhaCorpusDir() / "jlha/multi_lh5_l2.lzh", folder / "never-made");
    Error error;
    EXPECT_FALSE(extractor.extractArchive({}, &error));
    EXPECT_EQ(error.domain, kPOSIXErrorDomain);
    EXPECT_EQ(error.code, ENOENT);
}

// The fuzzer's way in.
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
    EXPECT_TRUE(fromMemory.report().stoppedEarly && fromFile.report.stoppedEarly);
    EXPECT_EQ(readWholeFile(folder / "memory/second.anim"), readWholeFile(folder / "file/second.anim"));

    ArchiveExtractor empty(ArchiveSource::inMemory(bytes.data(), 0, "nothing.lzh"), folder / "memory");
    Error error;
    EXPECT_FALSE(empty.extractArchive({}, &error));
    EXPECT_EQ(error.recoverySuggestion, "“nothing.lzh” is not an LHA archive, or it is damaged.");
}

}  // namespace
}  // namespace velarium
