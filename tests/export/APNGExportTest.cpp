// Every corpus animation exported as APNG and read back by libpng and our
// reading of the frame chunks: the expected pictures, the exact durations.
#include <gtest/gtest.h>

#include "APNGReader.h"
#include "ExportReadBack.h"
#include "export/Exporter.h"
#include "support/TemporaryFolder.h"

namespace velarium::testing {
namespace {

using namespace velarium::exporter;

class APNGCorpusExport : public ::testing::TestWithParam<CorpusAnimation> {};

TEST_P(APNGCorpusExport, ReadsBackAsTheFramesWithExactDelays) {
    const CorpusAnimation& animation = GetParam();
    TemporaryFolder folder;
    const auto output = folder.path() / "out.apng";
    ExportReport report;
    Error error;
    ASSERT_TRUE(exportAnimation(animation.file.string(), output.string(), {}, {}, &report, &error))
        << error.localizedDescription;

    const ExpectedExport expected = expectedExport(animation);
    const APNGFile apng = readAPNG(output);
    ASSERT_EQ(apng.failure, "");
    EXPECT_EQ(apng.plays, 0u);
    ASSERT_EQ(apng.frames.size(), expected.hashes.size());
    EXPECT_EQ(report.frames, expected.hashes.size());
    for (std::size_t i = 0; i < apng.frames.size(); ++i) {
        const APNGFrame& frame = apng.frames[i];
        EXPECT_EQ(hashAsExpected(frame.rgba), expected.hashes[i]) << "picture " << i;
        EXPECT_EQ(MediaTime::make(frame.delayNumerator, frame.delayDenominator), expected.durations[i])
            << "picture " << i;
        for (std::size_t p = 3; p < frame.rgba.size(); p += 4)
            ASSERT_TRUE(frame.rgba[p] == 0 || frame.rgba[p] == 255) << "picture " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, APNGCorpusExport,
                         ::testing::ValuesIn(haveCorpus() ? corpusAnimations() : std::vector<CorpusAnimation>{}),
                         corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(APNGCorpusExport);

}  // namespace
}  // namespace velarium::testing
