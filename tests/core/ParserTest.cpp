// The parser: chunk walking, the frame table and timing; frame delivery:
// errors, how many frames a request decodes, stepping back from complete
// pictures or checkpoints, and how far apart checkpoints are. (Double
// buffering and later complete pictures are checked on the corpus.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ANIMParser.h"
#include "core/FrameCheckpoints.h"
#include "platform/foundation/SystemLog.h"
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


// 16×1 pixels, one plane, stored BODY: each picture is two bytes, and the
// BGRA output shows register 1 (white) where a bit is set.
constexpr std::uint32_t kWhite = 0xFFFFFF;

ByteVector keyFrame(std::uint8_t a, std::uint8_t b) {
    return form("ILBM", {bmhd({}), cmap({0x000000, kWhite}), chunk("BODY", {a, b})});
}

// Operation 1 has no decoder: each such frame logs one line, which lets the
// tests count exactly which frames a request decodes.
ByteVector countedFrame() { return form("ILBM", {anhd({.operation = 1}), chunk("DLTA", {0, 0})}); }

class Pipeline {
public:
    explicit Pipeline(const std::vector<ByteVector>& frames)
        : parser(makeSharedBytes(animFile(frames))), capture([this](const std::string& l) { log.push_back(l); }) {
        parser.parseWithError(nullptr);
    }

    // Decoded frame indices reported by the log during one request.
    std::vector<int> request(std::uint64_t index) {
        log.clear();
        Bytes out(parser.width() * parser.height() * 4);
        EXPECT_TRUE(parser.decodeFrameAtIndex(index, out, nullptr));
        lastPicture = out;
        std::vector<int> decoded;
        for (const auto& line : log) {
            EXPECT_EQ(line.rfind("ANIMParser: Unsupported delta operation 1 at frame ", 0), 0u) << line;
            decoded.push_back(std::stoi(line.substr(line.rfind(' ') + 1)));
        }
        return decoded;
    }

    // The first 16 pixels as a bit string ("1" = white).
    std::string bits() const {
        std::string s;
        for (std::size_t i = 0; i < lastPicture.size(); i += 4) s += lastPicture[i] == 0xFF ? '1' : '0';
        return s;
    }

    ANIMParser parser;
    std::vector<std::string> log;
    Bytes lastPicture;
    ScopedLogCapture capture;
};

TEST(FramePipeline, RefusesBadRequestsWithoutChangingState) {
    Pipeline p({keyFrame(0xF0, 0), countedFrame(), countedFrame()});
    p.request(1);
    Error error;
    Bytes small(16 * 4 - 1);
    EXPECT_FALSE(p.parser.decodeFrameAtIndex(3, small.data(), 64, &error));
    EXPECT_EQ(error, Error("com.brackwater.Velarium.parser", -10, "Frame index out of range"));
    EXPECT_FALSE(p.parser.decodeFrameAtIndex(2, small, &error));
    EXPECT_EQ(error, Error("com.brackwater.Velarium.parser", -11, "Destination buffer too small for frame"));
    EXPECT_FALSE(p.parser.decodeFrameAtIndex(2, nullptr, 64, &error));
    EXPECT_EQ(error.code, -11);
    EXPECT_EQ(p.parser.decodeFrameAtIndex(7, &error), nullptr);
    EXPECT_EQ(p.parser.rawDataForFrameAtIndex(7, &error), nullptr);
    EXPECT_EQ(error.code, -10);
    EXPECT_EQ(p.parser.lastDecodedFrame(), 1);
    EXPECT_EQ(p.request(2), (std::vector<int>{2}));
}

// A frame without data repeats the previous picture and has no raw data; a
// frame's raw data is a copy of its chunk, read without decoding anything.
TEST(FramePipeline, FramesWithoutDataRepeatThePreviousPictureAndHaveNoRawData) {
    Pipeline p({keyFrame(0x0F, 0x34), form("ILBM", {anhd({.operation = 5})})});
    EXPECT_EQ(*p.parser.rawDataForFrameAtIndex(0, nullptr), (Bytes{0x0F, 0x34}));
    Error error;
    EXPECT_EQ(p.parser.rawDataForFrameAtIndex(1, &error), nullptr);
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(p.parser.lastDecodedFrame(), -1);
    p.request(1);
    EXPECT_EQ(p.bits(), "0000111100110100");
}

// Frame indices from `first` to `last`, inclusive.
std::vector<int> framesFrom(int first, int last) {
    std::vector<int> out;
    for (int i = first; i <= last; ++i) out.push_back(i);
    return out;
}

// 40 frames; frame 27 is a complete picture (it logs nothing). Each state is
// 2 × 2 bytes, so a 16-byte limit spaces checkpoints 10 frames apart.
TEST(FramePipeline, RequestsStartFromTheNearestCheckpointPictureOrFrameInHand) {
    std::vector<ByteVector> frames{keyFrame(0xF0, 0)};
    for (int i = 1; i < 40; ++i)
        frames.push_back(i == 27 ? form("ILBM", {anhd({.operation = 5}), chunk("BODY", {0x0F, 0})}) : countedFrame());
    struct Request {
        std::uint64_t index;
        std::vector<int> decoded;
        std::uint64_t checkpointBytes;  // held afterwards
        bool setLimitFirst = false;     // which drops every checkpoint
    };
    const struct {
        std::uint64_t limit;
        std::vector<Request> requests;
    } cases[] = {
        {16,
         {{39, framesFrom(28, 39), 0},  // reading in order keeps no checkpoints,
          {0, {}, 0},                   // nor does going back to a complete picture
          {25, framesFrom(1, 25), 0},
          {22, framesFrom(1, 22), 8},   // the first step back replays, keeping 10 and 20
          {35, framesFrom(28, 35), 12}, // forward from the picture at 27, keeping 30
          {29, framesFrom(28, 29), 12}, // back: the picture is nearer than checkpoint 20
          {9, framesFrom(1, 9), 12},    // nothing before checkpoint 10
          {12, framesFrom(11, 12), 12}, // checkpoint 10 is nearer than frame 9 in hand
          {14, framesFrom(13, 14), 12}, // the frame in hand is nearest
          {39, framesFrom(31, 39), 12}}},
        {16,
         {{25, framesFrom(1, 25), 0},
          {24, framesFrom(1, 24), 8},
          {23, framesFrom(1, 23), 8, true},  // the limit set again dropped 10 and 20
          {22, framesFrom(21, 22), 8}}},     // still kept from here on
        {0,
         {{25, framesFrom(1, 25), 0},
          {25, {}, 0},  // the frame in hand is only converted again
          {22, framesFrom(1, 22), 0},
          {12, framesFrom(1, 12), 0}}},
    };
    for (const auto& c : cases) {
        Pipeline p(frames);
        p.parser.setCheckpointMemoryLimit(c.limit);
        for (const auto& request : c.requests) {
            if (request.setLimitFirst) p.parser.setCheckpointMemoryLimit(c.limit);
            EXPECT_EQ(p.request(request.index), request.decoded)
                << "frame " << request.index << " with a limit of " << c.limit;
            EXPECT_EQ(p.parser.lastDecodedFrame(), static_cast<std::int64_t>(request.index));
            EXPECT_EQ(p.parser.checkpointMemoryUsage(), request.checkpointBytes) << "after frame " << request.index;
        }
    }
}

TEST(FramePipeline, UnknownCompressionConvertsAsRegisterZero) {
    Pipeline p({form("ILBM", {bmhd({.compression = 2}), cmap({0x102030, kWhite}), chunk("BODY", {0xFF, 0xFF})})});
    p.request(0);
    for (std::size_t i = 0; i < p.lastPicture.size(); i += 4)
        ASSERT_EQ(Bytes(p.lastPicture.begin() + i, p.lastPicture.begin() + i + 4), (Bytes{0x30, 0x20, 0x10, 0xFF}));
}

constexpr std::uint64_t kMiB = 1024 * 1024;

TEST(FrameCheckpoints, SpacingSpreadsTheCopiesOverTheAnimationWithinTheLimit) {
    const struct {
        const char* name;
        std::uint64_t frames, bufferBytes, limit;
        std::uint64_t interval, copies;
    } cases[] = {
        // 640×512×8: 327,680 bytes a buffer; 5,000 × 640 KiB / 64 MiB = 48.8.
        {"long animation", 5000, 327680, 64 * kMiB, 49, 102},
        // 1280×720×8: 921,600 bytes a buffer; 202 × 1.8 MB / 64 MiB = 5.5, under the minimum.
        {"large pictures, few frames", 202, 921600, 64 * kMiB, 8, 25},
        {"spaced by the limit", 100, 50, 1000, 10, 9},
        {"limit below one copy", 100, 1000, 1999, 0, 0},
        {"off", 100, 10, 0, 0, 0},
        {"single frame", 1, 10, 64 * kMiB, 0, 0},
    };
    for (const auto& c : cases) {
        FrameCheckpoints checkpoints;
        checkpoints.plan(c.frames, c.bufferBytes, c.limit);
        EXPECT_EQ(checkpoints.interval(), c.interval) << c.name;
        std::uint64_t copies = 0;
        for (std::uint64_t frame = 0; frame < c.frames; ++frame) copies += checkpoints.wants(frame);
        EXPECT_EQ(copies, c.copies) << c.name;
        EXPECT_LE(copies * 2 * c.bufferBytes, c.limit) << c.name;
    }
}

}  // namespace
}  // namespace velarium
