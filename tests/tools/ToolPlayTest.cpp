// velarium-tool play: the player's schedule printed frame by frame and the
// summary, also for files whose names the extensions do not claim.
#include <gtest/gtest.h>

#include <cstdio>

#include "core/ANIMParser.h"
#include "support/Corpus.h"
#include "support/SyntheticAnimations.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

using namespace testing;

// What play must print for an animation in virtual time: every frame at its
// presentation time, then the summary.
std::vector<std::string> expectedPlayOutput(const std::string& file) {
    ANIMParser parser(makeSharedBytes(readFileBytes(file)));
    EXPECT_TRUE(parser.parseWithError(nullptr));
    const auto frames = static_cast<unsigned long long>(parser.numFrames());
    const double seconds = parser.totalDuration().seconds();
    std::vector<std::string> out;
    char line[160];
    for (unsigned long long i = 0; i < frames; ++i) {
        std::snprintf(line, sizeof line, "frame %llu at %.3f s", i, parser.frameAtIndex(i).presentationTime.seconds());
        out.push_back(line);
    }
    std::snprintf(line, sizeof line, "%llu frames shown, 0 late, 0 dropped; total time %.3f s (movie %.3f s)", frames,
                  seconds, seconds);
    out.push_back(line);
    return out;
}

TEST(ToolPlay, VirtualClockPrintsEveryFrameAtItsTimeAndASummary) {
    TemporaryFolder folder;
    std::vector<std::string> files = {kDemo};
    // The tool reads every file as an ANIM, whatever its name.
    for (const char* name : {"walk.iff", "WALK", "Walk.Anim"})
        files.push_back(folder.write(name, readWholeFile(kDemo)).string());
    for (const auto& anim : corpusAnimations({"op5_noanhd_dpan_100x30_p2_f24_il0.anim", "amospro_jbb_2_Boost.anim"}))
        files.push_back(anim.file.string());
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        const auto run = runTool({"play", file, "--virtual-clock"});
        EXPECT_EQ(run.exitStatus, 0) << run.standardError;
        EXPECT_EQ(run.standardError, "");
        EXPECT_EQ(splitLines(run.standardOutput), expectedPlayOutput(file));
    }
}

TEST(ToolPlay, RealClockTakesAsLongAsTheAnimation) {
    TemporaryFolder folder;
    const auto file = folder.write("short.anim", syntheticAnimation({.ticks = {3, 3, 3, 3}}));  // 0.2 s

    const auto run = runTool({"play", file.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    // On a busy machine a frame may come too late to be shown and is dropped;
    // the last frame is always shown, and the whole takes the animation's time.
    const auto out = splitLines(run.standardOutput);
    ASSERT_GE(out.size(), 2u) << run.standardOutput;
    EXPECT_EQ(out[out.size() - 2].rfind("frame 3 at 0.150 s", 0), 0u) << run.standardOutput;
    unsigned shown = 0, late = 0, dropped = 0;
    double total = 0, movie = 0;
    ASSERT_EQ(std::sscanf(out.back().c_str(), "%u frames shown, %u late, %u dropped; total time %lf s (movie %lf s)",
                          &shown, &late, &dropped, &total, &movie),
              5)
        << out.back();
    EXPECT_EQ(shown, out.size() - 1);
    EXPECT_EQ(shown + dropped, 4u);
    EXPECT_DOUBLE_EQ(movie, 0.2);
    EXPECT_GE(total, 0.2);
    EXPECT_LT(total, 2.0);
}

}  // namespace
}  // namespace velarium
