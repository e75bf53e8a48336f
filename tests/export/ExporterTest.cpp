// The export engine's own rules, on small synthetic animations written as
// APNG: which frames, for how long, at what size, and what is left on disk.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "APNGReader.h"
#include "export/AnimationFile.h"
#include "export/CycledTimeline.h"
#include "export/ExportError.h"
#include "export/Exporter.h"
#include "export/PictureScale.h"
#include "support/SyntheticAnimations.h"
#include "support/TemporaryFolder.h"

namespace velarium::testing {
namespace {

using namespace velarium::exporter;

const SyntheticAnimation kShape{.width = 16, .height = 4, .planes = 2};

// An animation whose frame i shows synthetic picture pictures[i] for ticks[i] sixtieths.
std::filesystem::path writeAnimation(const std::filesystem::path& folder, const std::vector<unsigned>& pictures,
                                     const std::vector<std::uint32_t>& ticks, BMHDFields header = {},
                                     SyntheticAnimation shape = kShape, const ByteVector& ranges = {}) {
    shape.ticks = ticks, shape.pictures = pictures, shape.header = header, shape.firstFrameChunks = ranges;
    const ByteVector bytes = syntheticAnimation(shape);
    std::ofstream(folder / "in.anim", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return folder / "in.anim";
}

struct TimelineCase {
    const char* name;
    std::vector<unsigned> pictures;
    std::vector<std::uint32_t> ticks;
    std::uint64_t from;
    std::optional<std::uint64_t> count;
    std::vector<std::int64_t> expectedTicks;  // per exported picture
    std::uint64_t merged;
};

TEST(Exporter, LaysOutFramesOnTheExportTimeline) {
    const TimelineCase cases[] = {
        {"wrap-up frames give their time to 0 and 1", {0, 1, 2, 3, 0, 1}, {1, 2, 3, 4, 5, 6}, 0, {}, {5, 6, 3, 4}, 0},
        {"no wrap-up keeps every frame", {0, 1, 2, 3, 4}, {1, 2, 3, 4, 5}, 0, {}, {1, 2, 3, 4, 5}, 0},
        {"identical pictures merge", {0, 0, 1, 1, 1, 2}, {1, 2, 3, 4, 5, 6}, 0, {}, {3, 12, 6}, 3},
        {"a range has no wrap-up handling", {0, 1, 2, 3, 0, 1}, {1, 2, 3, 4, 5, 6}, 1, 5, {2, 3, 4, 5, 6}, 0},
        {"a range to the end", {0, 1, 2, 3, 0, 1}, {1, 2, 3, 4, 5, 6}, 4, {}, {5, 6}, 0},
    };
    for (const TimelineCase& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder folder;
        const auto source = writeAnimation(folder.path(), c.pictures, c.ticks);
        ExportOptions options;
        options.from = c.from;
        options.count = c.count;
        ExportReport report;
        Error error;
        ASSERT_TRUE(exportAnimation(source, folder.path() / "out.apng", options, {}, &report, &error))
            << error.localizedDescription;
        const APNGFile apng = readAPNG(folder.path() / "out.apng");
        ASSERT_EQ(apng.frames.size(), c.expectedTicks.size());
        std::int64_t total = 0;
        for (std::size_t i = 0; i < c.expectedTicks.size(); ++i) {
            EXPECT_EQ(MediaTime::make(apng.frames[i].delayNumerator, apng.frames[i].delayDenominator),
                      sixtieths(c.expectedTicks[i]));
            total += c.expectedTicks[i];
        }
        EXPECT_EQ(report.frames, c.expectedTicks.size());
        EXPECT_EQ(report.mergedPictures, c.merged);
        EXPECT_EQ(report.duration, sixtieths(total));
    }
}

TEST(Exporter, RefusesARangeOutsideTheFile) {
    TemporaryFolder folder;
    const auto source = writeAnimation(folder.path(), {0, 1, 2}, {1, 1, 1});
    for (const auto& [from, count] : std::vector<std::pair<std::uint64_t, std::optional<std::uint64_t>>>{
             {3, {}}, {1, 3}, {0, 0}}) {
        ExportOptions options;
        options.from = from;
        options.count = count;
        Error error;
        EXPECT_FALSE(exportAnimation(source, folder.path() / "out.apng", options, {}, nullptr, &error));
        EXPECT_EQ(error.code, kExportErrorRange);
        EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"in.anim"});
    }
}

TEST(Exporter, ScalesByWholeFactors) {
    struct Case {
        unsigned scale;
        bool correctAspect;
        unsigned xAspect, yAspect;
        ExportFormat format;
        std::uint64_t width, height;
    } const cases[] = {
        {0, false, 10, 11, ExportFormat::apng, 16, 4},    // 1× by default
        {3, false, 10, 11, ExportFormat::apng, 48, 12},
        {0, true, 10, 11, ExportFormat::apng, 16, 4},     // lores: nearly square
        {0, true, 5, 11, ExportFormat::apng, 16, 8},      // hires: twice as tall
        {0, true, 20, 11, ExportFormat::apng, 32, 4},     // lores interlaced: twice as wide
        {2, true, 11, 22, ExportFormat::apng, 32, 16},
        {0, true, 0, 0, ExportFormat::apng, 16, 4},       // unknown aspect: as it is
        {0, false, 10, 11, ExportFormat::webm, 16 * 120, 4 * 120},  // video fills 1920×1080
        {0, true, 5, 11, ExportFormat::mp4, 16 * 120, 8 * 120},
    };
    for (const Case& c : cases) {
        ExportOptions options;
        options.scale = c.scale;
        options.correctAspect = c.correctAspect;
        options.xAspect = c.xAspect;
        options.yAspect = c.yAspect;
        options.format = c.format;
        const ScaleFactors factors = scaleFactors(options, 16, 4);
        EXPECT_EQ(16 * factors.x, c.width) << c.scale << " " << c.xAspect << ":" << c.yAspect;
        EXPECT_EQ(4 * factors.y, c.height) << c.scale << " " << c.xAspect << ":" << c.yAspect;
    }

    // Video keeps to even factors: 320×200 would fit 5 times, and gets 4.
    ExportOptions video;
    video.format = ExportFormat::webm;
    EXPECT_EQ(scaleFactors(video, 320, 200).x, 4u);

    // The scaled export repeats each source pixel, and nothing else.
    TemporaryFolder folder;
    const auto source = writeAnimation(folder.path(), {0, 1}, {1, 1});
    ExportOptions scaled;
    scaled.scale = 2;
    scaled.correctAspect = true;
    scaled.xAspect = 5;
    scaled.yAspect = 11;
    ASSERT_TRUE(exportAnimation(source, folder.path() / "1.apng", {}, {}, nullptr, nullptr));
    ASSERT_TRUE(exportAnimation(source, folder.path() / "2.apng", scaled, {}, nullptr, nullptr));
    const APNGFile one = readAPNG(folder.path() / "1.apng"), big = readAPNG(folder.path() / "2.apng");
    ASSERT_EQ(big.width, 32u);
    ASSERT_EQ(big.height, 16u);
    ASSERT_EQ(big.frames.size(), one.frames.size());
    for (std::size_t f = 0; f < big.frames.size(); ++f)
        for (std::uint32_t y = 0; y < big.height; ++y)
            for (std::uint32_t x = 0; x < big.width; ++x)
                ASSERT_EQ(0, std::memcmp(&big.frames[f].rgba[(y * 32 + x) * 4],
                                         &one.frames[f].rgba[((y / 4) * 16 + x / 2) * 4], 4));
}

TEST(Exporter, TransparentColourHasAlphaZero) {
    TemporaryFolder folder;
    const auto source = writeAnimation(folder.path(), {0, 1}, {1, 1}, {.masking = 2});
    ASSERT_TRUE(exportAnimation(source, folder.path() / "out.apng", {}, {}, nullptr, nullptr));
    const APNGFile apng = readAPNG(folder.path() / "out.apng");
    ASSERT_EQ(apng.frames.size(), 2u);
    const ByteVector registers = syntheticColourMap(kShape);
    std::size_t transparent = 0;
    for (std::size_t p = 0; p < apng.frames[0].rgba.size(); p += 4) {
        const bool background = std::equal(registers.begin(), registers.begin() + 3, &apng.frames[0].rgba[p]);
        EXPECT_EQ(apng.frames[0].rgba[p + 3], background ? 0 : 255);
        transparent += background;
    }
    EXPECT_GT(transparent, 0u);
}

TEST(Exporter, ReplacesAnExistingFileOnlyWhenAsked) {
    TemporaryFolder folder;
    const auto source = writeAnimation(folder.path(), {0, 1}, {1, 1});
    const auto output = folder.path() / "out.apng";
    std::ofstream(output) << "mine";
    Error error;
    EXPECT_FALSE(exportAnimation(source, output, {}, {}, nullptr, &error));
    EXPECT_EQ(error.code, kExportErrorExists);
    EXPECT_EQ(readLines(output), std::vector<std::string>{"mine"});
    EXPECT_EQ(filesIn(folder.path()), (std::vector<std::string>{"in.anim", "out.apng"}));

    ExportOptions replace;
    replace.replace = true;
    ASSERT_TRUE(exportAnimation(source, output, replace, {}, nullptr, &error)) << error.localizedDescription;
    EXPECT_EQ(readAPNG(output).frames.size(), 2u);
    EXPECT_EQ(filesIn(folder.path()), (std::vector<std::string>{"in.anim", "out.apng"}));
}

TEST(Exporter, CancellingLeavesNothing) {
    TemporaryFolder folder;
    const auto source = writeAnimation(folder.path(), {0, 1, 2, 3}, {1, 1, 1, 1});
    std::atomic<bool> cancelled{false};
    std::vector<double> progress;
    ExportObserver observer{[&](double fraction) {
                                progress.push_back(fraction);
                                cancelled = fraction >= 0.5;
                            },
                            &cancelled};
    Error error;
    EXPECT_FALSE(exportAnimation(source, folder.path() / "out.apng", {}, observer, nullptr, &error));
    EXPECT_EQ(error.code, kExportErrorCancelled);
    EXPECT_EQ(progress, (std::vector<double>{0.25, 0.5}));
    EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"in.anim"});
}

TEST(Exporter, FailsClearlyWhereItCannotWrite) {
    TemporaryFolder folder;
    const auto source = writeAnimation(folder.path(), {0, 1}, {1, 1});
    Error error;
    // A folder that is not one.
    EXPECT_FALSE(exportAnimation(source, source / "out.apng", {}, {}, nullptr, &error));
    EXPECT_EQ(error.code, kExportErrorCannotWrite);
    EXPECT_NE(error.localizedDescription.find("Not a directory"), std::string::npos) << error.localizedDescription;
    // An unreadable source gives the source's own error, and leaves nothing.
    EXPECT_FALSE(exportAnimation(folder.path() / "missing.anim", folder.path() / "out.apng", {}, {}, nullptr, &error));
    EXPECT_NE(error.domain, kExportErrorDomain);
    EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"in.anim"});
}

// A disk that fills up: the file size limit makes writes fail as a full
// disk does. Run in a child so the limit stays there.
TEST(Exporter, FullDiskLeavesNothing) {
    TemporaryFolder folder;
    const SyntheticAnimation large{.width = 320, .height = 64, .planes = 4};
    const auto source = writeAnimation(folder.path(), {0, 1, 2, 3, 4, 5}, {1, 1, 1, 1, 1, 1}, {}, large);
    // Half of what the export needs.
    ASSERT_TRUE(exportAnimation(source, folder.path() / "whole.apng", {}, {}, nullptr, nullptr));
    const rlimit limit{std::filesystem::file_size(folder.path() / "whole.apng") / 2,
                       std::filesystem::file_size(folder.path() / "whole.apng") / 2};
    std::filesystem::remove(folder.path() / "whole.apng");
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        Error error;
        const bool done = exportAnimation(source, folder.path() / "out.apng", {}, {}, nullptr, &error);
        ::_exit(!done && error.code == kExportErrorCannotWrite ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"in.anim"});
}

ColourRange cyclingRange(std::size_t cells, std::uint64_t stepsNumerator, std::uint64_t stepsDenominator) {
    ColourRange range;
    for (std::size_t i = 0; i < cells; ++i) range.cells.push_back({int(i)});
    range.stepsNumerator = stepsNumerator;
    range.stepsDenominator = stepsDenominator;
    range.active = true;
    return range;
}

TEST(CycledTimeline, PicturesAtFrameStartsAndStepsKeptApartByTheRate) {
    const std::vector<TimelineEntry> twelfths(4, TimelineEntry{0, sixtieths(5)});  // a lap of 1/3 s
    ColourRange inactive = cyclingRange(3, 15, 1);
    inactive.active = false;
    struct Case {
        const char* name;
        std::vector<TimelineEntry> lap;
        std::vector<ColourRange> ranges;
        unsigned rate;
        bool once;
        std::uint64_t laps, pictures, merged;
    } const cases[] = {
        // A turn of 1/5 s and the lap of 1/3 s meet again after 1 s. The
        // 15 steps a second fall 1/60 s or more from the frames: all kept at
        // 60 pictures a second, and those 1/60 s from a frame merged at 50.
        {"seamless at 60", twelfths, {cyclingRange(3, 15, 1)}, 60, false, 3, 24, 0},
        {"seamless at 50", twelfths, {cyclingRange(3, 15, 1)}, 50, false, 3, 18, 6},
        {"once", twelfths, {cyclingRange(3, 15, 1)}, 60, true, 1, 8, 0},
        {"nothing cycles", twelfths, {inactive}, 60, false, 1, 4, 0},
        // Turns of 7/5 s and 11/50 s only meet the lap after 77 s: the
        // slowest turn is covered instead, in ceil(1.4 × 3) laps.
        {"too long to meet", twelfths, {cyclingRange(2, 10, 7), cyclingRange(2, 100, 11)}, 60, false, 5, 32, 5},
        // A frame held for ten hours cycles for the first ten minutes.
        {"held for hours", {{0, MediaTime::make(36000, 1)}}, {cyclingRange(4, 60, 1)}, 60, false, 1,
         kMaxCycledStepSeconds * 60, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CycledTimeline timeline = planCycledTimeline(c.lap, c.ranges, c.rate, c.once);
        EXPECT_EQ(timeline.laps, c.laps);
        EXPECT_EQ(timeline.mergedSteps, c.merged);
        ASSERT_EQ(timeline.entries.size(), c.pictures);
        MediaTime lapTime = MediaTime::zero(), at = MediaTime::zero();
        for (const TimelineEntry& entry : c.lap) lapTime = lapTime + entry.duration;
        for (const CycledEntry& entry : timeline.entries) {
            ASSERT_EQ(entry.start, at);
            ASSERT_GT(entry.duration, MediaTime::zero());
            at = at + entry.duration;
        }
        MediaTime whole = MediaTime::zero();
        for (std::uint64_t i = 0; i < c.laps; ++i) whole = whole + lapTime;
        EXPECT_EQ(at, whole);
    }
}

// Colour cycling baked into an APNG: each picture shows, from its start to
// just before its end, the frame then shown with the colours as they then
// stand, and the export ends where every range is back where it began.
TEST(Exporter, BakesColourCyclingInOnTime) {
    struct Case {
        const char* name;
        ByteVector range;
        bool once;
        std::uint64_t laps;
    } const cases[] = {
        {"forward, 15 steps a second", crng(4096, 1, 1, 3), false, 3},
        {"reverse, 30 steps a second", crng(8192, 3, 0, 3), false, 2},
        {"a step every 0.3 s", ccrt(1, 1, 2, 0, 300000), false, 9},
        {"once", crng(4096, 1, 1, 3), true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder folder;
        const auto source = writeAnimation(folder.path(), {0, 1, 2, 3}, {5, 5, 5, 5}, {}, kShape, c.range);
        ExportOptions options;
        options.cycleColours = true;
        options.once = c.once;
        ExportReport report;
        Error error;
        ASSERT_TRUE(exportAnimation(source, folder.path() / "out.apng", options, {}, &report, &error))
            << error.localizedDescription;
        EXPECT_EQ(report.laps, c.laps);
        EXPECT_EQ(report.mergedCycleSteps, 0u);
        EXPECT_EQ(report.duration, sixtieths(20 * std::int64_t(c.laps)));

        auto parser = openAnimation(source, &error);
        ASSERT_TRUE(parser);
        const auto expected = [&](const MediaTime& t) {
            const std::uint64_t frame = std::uint64_t(t.value * 12 / t.timescale) % 4;  // 5/60 s each
            std::vector<std::uint8_t> bgra(16 * 4 * 4);
            EXPECT_TRUE(parser->decodeFrameAtIndex(frame, t, bgra.data(), bgra.size(), nullptr));
            Picture picture;
            scaleToRGBA(bgra.data(), 16 * 4, 16, 4, {}, picture);
            return picture.rgba;
        };
        const APNGFile apng = readAPNG(folder.path() / "out.apng");
        EXPECT_GT(apng.frames.size(), 4 * c.laps);  // the colours moved between frames
        MediaTime start = MediaTime::zero();
        for (const APNGFrame& frame : apng.frames) {
            const MediaTime end = start + MediaTime::make(frame.delayNumerator, frame.delayDenominator);
            EXPECT_EQ(frame.rgba, expected(start)) << start.seconds();
            EXPECT_EQ(frame.rgba, expected(end - MediaTime::make(1, 1000))) << end.seconds();
            start = end;
        }
    }
}

}  // namespace
}  // namespace velarium::testing
