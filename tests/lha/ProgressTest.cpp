// Progress by uncompressed bytes across the archive, at most 30 updates a
// second; the file index and count; cancelling between entries.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "lha/LHATestSupport.h"
#include "lha/ProgressMeter.h"
#include "lha/ReferenceArchive.h"
#include "support/Corpus.h"
#include "support/LHAArchives.h"
#include "support/TemporaryFolder.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace testing;

constexpr double kInterval = 1.0 / 30.0;

// A clock that moves on by `step` seconds each time it is read.
struct SteppingClock {
    double step;
    double now = 1000.0;
    std::function<double()> function() {
        return [this] { return now += step; };
    }
};

struct Update {
    double value;
    double time;
};

TEST(ProgressMeter, WeighsFilesByLengthCapsAtOneAndNeverDividesByZero) {
    struct Case {
        std::uint64_t total, completedLength, currentLength;
        double fraction, expected;
    };
    const std::vector<Case> cases = {
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

class LargeArchive : public ::testing::Test {
protected:
    void SetUp() override {
        archive_ = GeneratedArchives::shared().archive(kLargeArchive);
        if (!archive_) GTEST_SKIP() << "python3 could not make " << kLargeArchive;
    }
    std::optional<fs::path> archive_;
    TemporaryFolder folder_;
};

TEST_F(LargeArchive, ProgressRisesToOneThroughTensOfThousandsOfBlocks) {
    SteppingClock clock{1.0};  // every update passes
    std::vector<double> values;
    unsigned blocks = 0;
    ArchiveExtractor extractor(*archive_, folder_ / "out");
    extractor.setClock(clock.function());
    extractor.setBlockHook([&](unsigned, unsigned) { ++blocks; });
    ExtractionObserver observer;
    observer.progress = [&](double value) { values.push_back(value); };
    ASSERT_TRUE(prepareDestination(folder_ / "out", nullptr));
    ASSERT_TRUE(extractor.extractArchive(observer, nullptr));
    EXPECT_EQ(blocks, 15361u + 10241u + 2u);  // ceil(length / 2048) + 1 per stored file
    ASSERT_FALSE(values.empty());
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_GE(values.front(), 0.0);
    EXPECT_EQ(values.back(), 1.0);
}

TEST_F(LargeArchive, AtMostThirtyUpdatesASecondOnAnyClock) {
    // A clock that moves 1 ms per reading: 25,000+ blocks span 25 s of it.
    SteppingClock clock{0.001};
    std::vector<Update> updates;
    ArchiveExtractor extractor(*archive_, folder_ / "virtual");
    extractor.setClock(clock.function());
    ExtractionObserver observer;
    observer.progress = [&](double value) { updates.push_back({value, clock.now}); };
    ASSERT_TRUE(prepareDestination(folder_ / "virtual", nullptr));
    const double start = clock.now;
    ASSERT_TRUE(extractor.extractArchive(observer, nullptr));
    const double span = clock.now - start;
    EXPECT_GT(span, 25.0);
    EXPECT_LE(updates.size(), static_cast<std::size_t>(span / kInterval) + 1);
    EXPECT_GE(updates.size(), static_cast<std::size_t>(span / kInterval) / 2);
    for (std::size_t i = 1; i < updates.size(); ++i) {
        EXPECT_GE(updates[i].time - updates[i - 1].time, kInterval - 1e-9) << "update " << i;
        EXPECT_GE(updates[i].value, updates[i - 1].value);
    }

    // And on the real clock.
    std::size_t realUpdates = 0;
    ArchiveExtractor real(*archive_, folder_ / "real");
    ExtractionObserver counting;
    counting.progress = [&](double) { ++realUpdates; };
    ASSERT_TRUE(prepareDestination(folder_ / "real", nullptr));
    const auto began = std::chrono::steady_clock::now();
    ASSERT_TRUE(real.extractArchive(counting, nullptr));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_LE(realUpdates, static_cast<std::size_t>(seconds * 30.0) + 1);
}

TEST_F(LargeArchive, CancelStopsBeforeTheNextEntryAndKeepsWhatWasWritten) {
    // The decoder's first block of the first file waits until Cancel has
    // been pressed on another thread: the cancel arrives mid-file.
    std::atomic<bool> writing{false}, cancelPressed{false};
    ArchiveExtractor extractor(*archive_, folder_ / "out");
    extractor.setBlockHook([&](unsigned, unsigned) {
        writing = true;
        while (!cancelPressed) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    std::vector<std::string> started;
    ExtractionObserver observer;
    observer.currentFile = [&](const std::string& path, std::uint64_t, std::uint64_t) { started.push_back(path); };
    ASSERT_TRUE(prepareDestination(folder_ / "out", nullptr));
    bool succeeded = false;
    std::thread worker([&] { succeeded = extractor.extractArchive(observer, nullptr); });
    while (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    extractor.cancel();
    cancelPressed = true;
    worker.join();

    EXPECT_TRUE(succeeded);
    const ExtractionReport& report = extractor.report();
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(started, std::vector<std::string>{"Large/big1.bin"});
    EXPECT_EQ(report.extracted, std::vector<std::string>{"Large/big1.bin"});
    // The file being written when Cancel came was finished, and is whole.
    const auto reference = readReferenceEntries(*archive_);
    EXPECT_TRUE(readFileBytes(folder_ / "out/Large/big1.bin") == reference[0].data);
    EXPECT_FALSE(fs::exists(folder_ / "out/Large/big2.bin"));
    EXPECT_FALSE(fs::exists(folder_ / "out/Large/after.anim"));
}

TEST(CancelledRun, ACancelBeforeTheStartWritesNothing) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    TemporaryFolder folder;
    ASSERT_TRUE(prepareDestination(folder / "out", nullptr));
    ArchiveExtractor extractor(lhaCorpusDir() / "jlha/multi_lh5_l2.lzh", folder / "out");
    extractor.cancel();
    EXPECT_TRUE(extractor.extractArchive({}, nullptr));
    EXPECT_TRUE(extractor.report().cancelled);
    EXPECT_EQ(extractor.report().fileCount, 10u);  // measured all the same
    EXPECT_TRUE(fs::is_empty(folder / "out"));
}

TEST(FileProgress, ZeroLengthFilesKeepTheValueFinite) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    TemporaryFolder folder;
    SteppingClock clock{1.0};
    std::vector<double> values;
    ArchiveExtractor extractor(lhaCorpusDir() / "crafted/zero_and_tiny.lzh", folder / "out");
    extractor.setClock(clock.function());
    ExtractionObserver observer;
    observer.progress = [&](double value) { values.push_back(value); };
    ASSERT_TRUE(prepareDestination(folder / "out", nullptr));
    ASSERT_TRUE(extractor.extractArchive(observer, nullptr));
    EXPECT_EQ(extractor.report().totalBytes, 1u + 4u + 12u);
    for (const double value : values) EXPECT_TRUE(std::isfinite(value));
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(values.back(), 1.0);
}

TEST(FileProgress, EachFileIsAnnouncedWithItsIndexAmongAllFiles) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    struct Announcement {
        std::string path;
        std::uint64_t index, count;
        bool operator==(const Announcement&) const = default;
    };
    const auto announced = [](const fs::path& archive) {
        TemporaryFolder folder;
        std::vector<Announcement> seen;
        ExtractionObserver observer;
        observer.currentFile = [&](const std::string& path, std::uint64_t index, std::uint64_t count) {
            seen.push_back({path, index, count});
        };
        extractArchiveInto(archive, folder / "out", observer);
        return seen;
    };
    // Folders are not announced and do not count.
    EXPECT_EQ(announced(lhaCorpusDir() / "crafted/anims_l2.lzh"),
              (std::vector<Announcement>{{"Anims/Walk/x.anim", 1, 8},
                                         {"Anims/Run/y.anim", 2, 8},
                                         {"Anims/readme.txt", 3, 8},
                                         {"Anims/Walk/notes.txt", 4, 8},
                                         {"Anims/Run/fake.anim", 5, 8},
                                         {"Anims/short.anim", 6, 8},
                                         {"picture.iff", 7, 8},
                                         {"top.anim", 8, 8}}));
    // Files whose path cleans to nothing are skipped but still counted.
    EXPECT_EQ(announced(lhaCorpusDir() / "crafted/dotslash.lzh"), (std::vector<Announcement>{{"ok.txt", 4, 4}}));
}

}  // namespace
}  // namespace velarium
