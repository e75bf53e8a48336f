// The bundled demo animation: what its generator writes today, and that it
// is small and moving. (Its size and length are checked with velarium-tool info.)
#include <gtest/gtest.h>

#include <cstring>

#include "core/ANIMParser.h"
#include "support/Corpus.h"
#include "tools/ToolRunner.h"

namespace velarium {
namespace {

using namespace testing;

TEST(DemoAnimation, CommittedFileIsTheGeneratorsOutput) {
    TemporaryFolder folder;
    const auto generated = folder / "demo.anim";
    const auto run = runProgram(VELARIUM_DEMO_GENERATOR_PATH, {generated.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_TRUE(readWholeFile(generated) == readWholeFile(kDemo))
        << "demo/velarium-demo.anim is out of date: regenerate it (see demo/make_demo.cpp)";
}

TEST(DemoAnimation, IsSmallAndMoving) {
    const auto bytes = readFileBytes(kDemo);
    EXPECT_LT(bytes.size(), 200u * 1024u);
    ANIMParser parser(makeSharedBytes(bytes));
    ASSERT_TRUE(parser.parseWithError(nullptr));
    Bytes previous = *parser.decodeFrameAtIndex(0, nullptr);
    for (std::uint64_t i = 1; i < parser.numFrames(); ++i) {
        const Bytes picture = *parser.decodeFrameAtIndex(i, nullptr);
        std::size_t changed = 0;
        for (std::size_t p = 0; p < picture.size(); p += 4) changed += std::memcmp(&picture[p], &previous[p], 3) != 0;
        EXPECT_GT(changed, picture.size() / 4 / 2) << "too little changes from frame " << i - 1 << " to " << i;
        previous = picture;
    }
}

}  // namespace
}  // namespace velarium
