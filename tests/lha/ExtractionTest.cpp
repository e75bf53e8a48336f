// The destination folder, unreadable archives, archives in memory; progress by
// uncompressed bytes at most 30 times a second, each file with its index.
#include <gtest/gtest.h>

#include <chrono>

#include "lha/LHATestSupport.h"
#include "lha/ProgressMeter.h"
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


// A clock that moves on by `step` seconds each time it is read.
struct SteppingClock {
    double step, now = 1000.0;
    std::function<double()> function() { return [this] { return now += step; }; }
};

TEST(ProgressMeter, WeighsFilesByLengthCapsAtOneAndNeverDividesByZero) {
    struct Case {
        std::uint64_t total, completedLength, currentLength;
        double fraction, expected;
    } const cases[] = {
        {1000, 0, 500, 0.5, 0.25},
        {1000, 500, 500, 1.0, 1.0},
        {1000, 200, 0, 1.0, 0.2},  // a zero-length file adds nothing
        {0, 0, 0, 1.0, 0.0},       // nothing to measure by
        {100, 100, 50, 1.0, 1.0},  // more than measured: capped
    };
    for (const Case& c : cases) {
        std::vector<double> values;
        SteppingClock clock{1.0};
        ProgressMeter meter(c.total, [&](double value) { values.push_back(value); }, clock.function());
        meter.startFile(c.completedLength);
        meter.finishFile();
        meter.startFile(c.currentLength);
        meter.reportWithinFile(c.fraction);
        ASSERT_EQ(values.size(), 2u);
        EXPECT_DOUBLE_EQ(values.back(), c.expected) << c.total << " " << c.completedLength << " " << c.fraction;
    }
}

// The 50 MB archive, on a clock that moves 1 ms per reading and on the real clock.
TEST(LargeArchive, ProgressRisesToOneAtMostThirtyTimesASecond) {
    const auto archive = generatedArchive(kLargeArchive);
    if (!archive) GTEST_SKIP() << "python3 could not make " << kLargeArchive;
    TemporaryFolder folder;
    SteppingClock clock{0.001};
    std::vector<std::pair<double, double>> updates;  // value, time
    ASSERT_TRUE(prepareDestination(folder / "virtual", nullptr));
    ArchiveExtractor extractor(*archive, folder / "virtual");
    extractor.setClock(clock.function());
    ExtractionObserver observer;
    observer.progress = [&](double value) { updates.emplace_back(value, clock.now); };
    const double start = clock.now;
    ASSERT_TRUE(extractor.extractArchive(observer, nullptr));
    const double span = clock.now - start;
    EXPECT_LE(updates.size(), static_cast<std::size_t>(span * 30) + 1);
    ASSERT_GE(updates.size(), static_cast<std::size_t>(span * 30) / 2);
    for (std::size_t i = 1; i < updates.size(); ++i) {
        EXPECT_GE(updates[i].second - updates[i - 1].second, 1.0 / 30 - 1e-9) << "update " << i;
        EXPECT_GE(updates[i].first, updates[i - 1].first);
    }
    EXPECT_GT(updates.back().first, 0.99);  // the final 1.0 is the caller's to show

    std::size_t realUpdates = 0;
    observer.progress = [&](double) { ++realUpdates; };
    const auto began = std::chrono::steady_clock::now();
    ASSERT_TRUE(extractArchiveInto(*archive, folder / "real", ExistingFiles::Replace, observer).succeeded);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_LE(realUpdates, static_cast<std::size_t>(seconds * 30.0) + 1);
}

TEST(FileProgress, EachFileIsAnnouncedWithItsIndexAmongAllFiles) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    const auto announced = [](const std::string& archive) {
        TemporaryFolder folder;
        std::vector<std::string> seen;
        ExtractionObserver observer;
        observer.currentFile = [&](const std::string& path, std::uint64_t index, std::uint64_t count) {
            seen.push_back(path + " " + std::to_string(index) + "/" + std::to_string(count));
        };
        extractArchiveInto(lhaCorpusDir() / archive, folder / "out", ExistingFiles::Replace, observer);
        return seen;
    };
    // Folders are neither announced nor counted; files whose path cleans to nothing are counted.
    EXPECT_EQ(announced("crafted/anims_l2.lzh"),
              (std::vector<std::string>{"Anims/Walk/x.anim 1/8", "Anims/Run/y.anim 2/8", "Anims/readme.txt 3/8",
                                        "Anims/Walk/notes.txt 4/8", "Anims/Run/fake.anim 5/8",
                                        "Anims/short.anim 6/8", "picture.iff 7/8", "top.anim 8/8"}));
    EXPECT_EQ(announced("crafted/dotslash.lzh"), std::vector<std::string>{"ok.txt 4/4"});
}

}  // namespace
}  // namespace velarium
