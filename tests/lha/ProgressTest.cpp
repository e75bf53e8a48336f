// Progress by uncompressed bytes, at most 30 updates a second, and each
// file announced with its index among all files.
#include <gtest/gtest.h>

#include <chrono>

#include "lha/LHATestSupport.h"
#include "lha/ProgressMeter.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace testing;

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
