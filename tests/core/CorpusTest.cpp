// Decodes every corpus animation and compares each frame's BGRA picture and
// duration with the expected results made by established decoders.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "core/ANIMParser.h"
#include "support/Corpus.h"

namespace velarium {
namespace {

using testing::CorpusAnimation;

std::string sha256Hex(const Bytes& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(bytes.data(), bytes.size(), digest);
    std::string hex;
    char pair[3];
    for (unsigned char b : digest) {
        std::snprintf(pair, sizeof pair, "%02x", b);
        hex += pair;
    }
    return hex;
}

class CorpusAnimationTest : public ::testing::TestWithParam<CorpusAnimation> {};

TEST_P(CorpusAnimationTest, FramesAndDurationsMatchExpected) {
    const CorpusAnimation& anim = GetParam();
    ANIMParser parser(makeSharedBytes(testing::readFileBytes(anim.file)));
    Error error;
    ASSERT_TRUE(parser.parseWithError(&error)) << error.localizedDescription;

    const auto hashes = testing::readLines(anim.expectedHashes);
    ASSERT_EQ(parser.numFrames(), hashes.size());

    auto timing = testing::readLines(anim.expectedTiming);
    ASSERT_FALSE(timing.empty());
    timing.erase(timing.begin());  // header
    ASSERT_EQ(timing.size(), parser.numFrames());
    for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
        std::istringstream row(timing[i]);
        long long index, value, timescale;
        row >> index >> value >> timescale;
        EXPECT_EQ(parser.frameAtIndex(i).duration, MediaTime::make(value, static_cast<std::int32_t>(timescale)))
            << "frame " << i << " lasts " << parser.frameAtIndex(i).duration.description();
    }

    Bytes frame(parser.width() * parser.height() * 4);
    for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
        ASSERT_TRUE(parser.decodeFrameAtIndex(i, frame, &error));
        EXPECT_EQ(sha256Hex(frame), hashes[i]) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusAnimationTest, ::testing::ValuesIn(testing::corpusAnimations()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusAnimationTest);

TEST(Corpus, IsPresentOrSkipped) {
    if (!testing::haveCorpus()) GTEST_SKIP() << "corpus not found at " << testing::corpusDir();
    EXPECT_FALSE(testing::corpusAnimations().empty());
}

}  // namespace
}  // namespace velarium
