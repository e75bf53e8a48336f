// Frame delivery: errors, how many frames a request decodes, stepping
// backwards and restarting from complete pictures or checkpoints, and how far
// apart checkpoints are. (Double buffering and later complete pictures are
// checked on the corpus.)
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
