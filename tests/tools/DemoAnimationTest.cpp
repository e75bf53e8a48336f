// The bundled demo animation: what its generator writes today, and that it
// is small, colourful and moving.
#include <gtest/gtest.h>

#include <set>

#include "core/ANIMParser.h"
#include "support/Corpus.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

const std::string kDemo = VELARIUM_DEMO_FILE;

TEST(DemoAnimation, CommittedFileIsTheGeneratorsOutput) {
    testing::TemporaryFolder folder;
    const auto generated = folder / "demo.anim";
    const auto run = testing::runProgram(VELARIUM_DEMO_GENERATOR_PATH, {generated.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_TRUE(testing::readWholeFile(generated) == testing::readWholeFile(kDemo))
        << "demo/velarium-demo.anim is out of date: regenerate it (see demo/make_demo.cpp)";
}

TEST(DemoAnimation, IsSmallColourfulAndMoving) {
    const auto bytes = testing::readFileBytes(kDemo);
    EXPECT_LT(bytes.size(), 200u * 1024u);
    ANIMParser parser(makeSharedBytes(bytes));
    ASSERT_TRUE(parser.parseWithError(nullptr));
    EXPECT_EQ(parser.width(), 320u);
    EXPECT_EQ(parser.height(), 200u);
    EXPECT_EQ(parser.numPlanes(), 5u);
    EXPECT_EQ(parser.bitmapHeader().compression, kCompressionByteRun1);
    EXPECT_GE(parser.totalDuration().seconds(), 3.0);
    EXPECT_LE(parser.totalDuration().seconds(), 4.0);

    Bytes previous;
    for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
        SCOPED_TRACE(i);
        const ANIMFrameInfo& frame = parser.frameAtIndex(i);
        EXPECT_TRUE(frame.isKeyframe);
        EXPECT_GT(frame.dataLength, 0u);
        if (i > 0) {
            EXPECT_NE(*frame.colorMap, *parser.frameAtIndex(i - 1).colorMap);  // the palette cycles
        }

        const Bytes picture = *parser.decodeFrameAtIndex(i, nullptr);
        std::set<std::uint32_t> colours;
        for (std::size_t p = 0; p < picture.size(); p += 4)
            colours.insert(picture[p] | picture[p + 1] << 8 | picture[p + 2] << 16);
        EXPECT_GE(colours.size(), 16u);
        if (!previous.empty()) {
            std::size_t changed = 0;
            for (std::size_t p = 0; p < picture.size(); p += 4)
                changed += picture[p] != previous[p] || picture[p + 1] != previous[p + 1] || picture[p + 2] != previous[p + 2];
            EXPECT_GT(changed, picture.size() / 4 / 2) << "too little changes from the previous frame";
        }
        previous = picture;
    }
}

}  // namespace
}  // namespace velarium
