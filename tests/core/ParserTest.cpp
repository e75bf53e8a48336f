// Container parsing: chunk walking, the frame table and frame timing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ANIMParser.h"
#include "support/IFFWriter.h"

namespace velarium {
namespace {

using namespace velarium::testing;

struct Parsed {
    std::unique_ptr<ANIMParser> parser;
    bool ok = false;
    Error error;
};

Parsed parse(const ByteVector& bytes) {
    Parsed p;
    p.parser = std::make_unique<ANIMParser>(makeSharedBytes(bytes));
    p.ok = p.parser->parseWithError(&p.error);
    return p;
}

ByteVector body(std::size_t size) { return chunk("BODY", ByteVector(size, 0)); }
ByteVector dlta(std::size_t size) { return chunk("DLTA", ByteVector(size, 0)); }

TEST(ANIMParserContainer, RejectsWhatIsNotAnANIM) {
    const std::string domain = "com.brackwater.Velarium.parser";
    const struct {
        const char* what;
        ByteVector bytes;
        Error error;
    } cases[] = {
        {"11 bytes", ByteVector(11, 0), Error(domain, -1, "File too small")},
        {"an ILBM", form("ILBM", {bmhd({}), body(2)}), Error(domain, -2, "Not an IFF ANIM file")},
        {"an ANIM without frames (no error record)", concat({{'F', 'O', 'R', 'M', 0, 0, 0, 4}, {'A', 'N', 'I', 'M'}}),
         Error()},
        // A header asking for gigabytes of working memory.
        {"65535 x 65535 pixels of 8 planes",
         animFile({form("ILBM", {bmhd({.width = 65535, .height = 65535, .planes = 8}), body(2)})}),
         Error(domain, -3, "Picture too large")},
    };
    for (const auto& c : cases) {
        auto p = parse(c.bytes);
        EXPECT_FALSE(p.ok) << c.what;
        EXPECT_EQ(p.error, c.error) << c.what;
        EXPECT_EQ(p.parser->numFrames(), 0u) << c.what;
        // Without an out-parameter nothing is written anywhere.
        EXPECT_FALSE(ANIMParser(makeSharedBytes(c.bytes)).parseWithError(nullptr)) << c.what;
    }
    EXPECT_EQ(parse(cases[2].bytes).parser->totalDuration(), MediaTime::zero()) << cases[2].what;
}

// Every BODY is a complete picture and every DLTA a delta; a later frame's
// BMHD and CAMG are ignored, but its CMAP holds from that frame on.
TEST(ANIMParserContainer, WalksChunksWithPaddingIntoTheFrameTable) {
    auto p = parse(animFile({
        // ANHD after the first BODY: still the key frame.
        form("ILBM", {chunk("ANNO", ByteVector(5, 'x')), bmhd({.width = 32, .planes = 3}), cmap({1}), camg(0x804),
                      chunk("GRAB", ByteVector(3, 1)), body(12), anhd({.operation = 5, .relTime = 2})}),
        chunk("JUNK", ByteVector(7, 0xFF)),                // odd top-level chunk with a pad byte
        form("8SVX", {chunk("VHDR", ByteVector(20, 0))}),  // another FORM type is not a frame
        form("ILBM", {bmhd({.width = 640}), camg(0x80), anhd({.operation = 5, .interleave = 2, .bits = 0x33}), dlta(9)}),
        form("ILBM", {cmap({0x222222}), anhd({.operation = 5}), body(2)}),
        // A first-of-its-kind frame with neither BODY nor DLTA is not a picture.
        form("ILBM", {anhd({.operation = 5})}),
    }));
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.parser->numFrames(), 4u);
    EXPECT_EQ(p.parser->width(), 32u);
    EXPECT_EQ(p.parser->numColors(), 8u);
    EXPECT_EQ(p.parser->camgMode(), 0x804u);
    EXPECT_TRUE(p.parser->isHAM());
    EXPECT_EQ(*p.parser->colorMap(), (Bytes{0, 0, 1}));
    const struct {
        bool isKeyframe;
        int operation;
        std::uint64_t dataLength;
    } expected[] = {{true, 5, 12}, {false, 5, 9}, {true, 0, 2}, {false, 5, 0}};
    for (std::uint64_t i = 0; i < 4; ++i) {
        EXPECT_EQ(p.parser->frameAtIndex(i).isKeyframe, expected[i].isKeyframe) << i;
        EXPECT_EQ(p.parser->frameAtIndex(i).operation, expected[i].operation) << i;
        EXPECT_EQ(p.parser->frameAtIndex(i).dataLength, expected[i].dataLength) << i;
    }
    const auto& delta = p.parser->frameAtIndex(1);
    EXPECT_EQ(delta.bits, 0x33u);
    EXPECT_EQ(delta.interleave, 0);                   // any interleave but 1 means the frame two back
    EXPECT_EQ(delta.colorMap, p.parser->colorMap());  // shared, not copied
    EXPECT_EQ(*p.parser->frameAtIndex(2).colorMap, (Bytes{0x22, 0x22, 0x22}));
    EXPECT_EQ(p.parser->frameAtIndex(3).colorMap, p.parser->frameAtIndex(2).colorMap);
}

TEST(ANIMParserContainer, ToleratesShortAndTruncatedChunks) {
    // A 19-byte BMHD is too short and ignored.
    auto shortHeader = parse(animFile({form("ILBM", {chunk("BMHD", ByteVector(19, 1)), body(4)})}));
    ASSERT_TRUE(shortHeader.ok);
    EXPECT_EQ(shortHeader.parser->width(), 0u);
    EXPECT_EQ(shortHeader.parser->planarBuffer()->size(), 0u);
    EXPECT_FALSE(shortHeader.parser->endsEarly());

    // A DLTA that runs past the end of the file ends its ILBM: no picture
    // data. Its FORM lies past what the outer FORM's size claims, which is
    // ignored, so the file does not count as cut off.
    auto file = animFile({form("ILBM", {bmhd({}), body(2)})});
    file = concat({file, {'F', 'O', 'R', 'M', 0, 0, 0, 40}, {'I', 'L', 'B', 'M'}, anhd({.operation = 5, .relTime = 3}),
                   {'D', 'L', 'T', 'A'}, w32({100}), {1, 2, 3}});
    auto cut = parse(file);
    ASSERT_TRUE(cut.ok);
    ASSERT_EQ(cut.parser->numFrames(), 2u);
    EXPECT_FALSE(cut.parser->endsEarly());
    // Cut inside its second frame, inside the FORM, it does; whole, it does not.
    const auto whole = animFile({form("ILBM", {bmhd({}), body(2)}), form("ILBM", {anhd({.operation = 5}), dlta(40)})});
    EXPECT_FALSE(parse(whole).parser->endsEarly());
    EXPECT_TRUE(parse(ByteVector(whole.begin(), whole.end() - 20)).parser->endsEarly());
    EXPECT_EQ(cut.parser->frameAtIndex(1).dataLength, 0u);
    EXPECT_EQ(cut.parser->frameAtIndex(1).operation, 5);  // read before the cut
    EXPECT_EQ(cut.parser->frameAtIndex(1).duration, MediaTime::make(3, 60));

    // A short ANHD is ignored: the frame lasts one tick.
    auto shortAnhd = parse(animFile({form("ILBM", {bmhd({}), chunk("ANHD", ByteVector(23, 9)), body(2)})}));
    EXPECT_EQ(shortAnhd.parser->frameAtIndex(0).operation, 0);
    EXPECT_EQ(shortAnhd.parser->frameAtIndex(0).duration, MediaTime::make(1, 60));
}

TEST(ANIMParserTiming, DurationsFollowTicksAndPlaybackSpeed) {
    struct Case {
        const char* what;
        std::vector<ByteVector> extraChunks;
        MediaTime expected;
    } cases[] = {
        {"no ANHD", {}, MediaTime::make(1, 60)},
        {"relative time 0", {anhd({.relTime = 0})}, MediaTime::make(1, 60)},
        {"relative time 4", {anhd({.relTime = 4})}, MediaTime::make(4, 60)},
        {"relative time 1 at speed 25", {dpan(25), anhd({.relTime = 1})}, MediaTime::make(1, 25)},
        {"relative time 3 at speed 25", {dpan(25), anhd({.relTime = 3})}, MediaTime::make(3, 60)},
        {"no ANHD at speed 30", {dpan(30)}, MediaTime::make(1, 30)},
    };
    for (const auto& c : cases) {
        std::vector<ByteVector> chunks = {bmhd({})};
        chunks.insert(chunks.end(), c.extraChunks.begin(), c.extraChunks.end());
        chunks.push_back(body(2));
        auto p = parse(animFile({form("ILBM", chunks)}));
        const MediaTime d = p.parser->frameAtIndex(0).duration;
        EXPECT_EQ(d, c.expected) << c.what << ": " << d.description();
        EXPECT_EQ(d.timescale, c.expected.timescale) << c.what;
    }
}

TEST(ANIMParserTiming, FramesFollowEachOtherExactlyAcrossTimescales) {
    // A DPAN in frame 1 changes the speed from that frame on.
    auto p = parse(animFile({
        form("ILBM", {bmhd({}), body(2)}),
        form("ILBM", {dpan(25), anhd({}), dlta(4)}),
        form("ILBM", {anhd({.relTime = 6}), dlta(4)}),
        form("ILBM", {anhd({}), dlta(4)}),
    }));
    ASSERT_EQ(p.parser->numFrames(), 4u);
    const MediaTime expectedStarts[] = {MediaTime::zero(), MediaTime::make(1, 60), MediaTime::make(17, 300),
                                        MediaTime::make(47, 300)};
    for (std::uint64_t i = 0; i < 4; ++i) {
        EXPECT_EQ(p.parser->frameAtIndex(i).decodeTime, expectedStarts[i]) << i;
        EXPECT_EQ(p.parser->frameAtIndex(i).presentationTime, expectedStarts[i]) << i;
        EXPECT_EQ(p.parser->frameAtIndex(i).frameIndex, i);
    }
    EXPECT_EQ(p.parser->totalDuration(), MediaTime::make(59, 300));
    EXPECT_FALSE(p.parser->totalDuration().hasBeenRounded());
}

}  // namespace
}  // namespace velarium
