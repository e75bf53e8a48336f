// ANIM-J records: byte columns and rectangles, stored or XORed, fill bytes,
// offsets on a centred 320-pixel screen, damaged chunks and unknown records.
#include <string>

#include "core/deltas/DeltaDecoding.h"
#include "platform/foundation/SystemLog.h"
#include "tests/core/DeltaTestSupport.h"

namespace velarium {
namespace {

using namespace velarium::testing;

// Record headers: type 1 (type, XOR flag, rows, groups), type 2 (type, XOR flag, rows, bytes, groups).
ByteVector columns(unsigned exclusiveOr, unsigned rows, unsigned groups) { return w16({1, exclusiveOr, rows, groups}); }
ByteVector rectangles(unsigned exclusiveOr, unsigned rows, unsigned bytes, unsigned groups) {
    return w16({2, exclusiveOr, rows, bytes, groups});
}
const ByteVector kEnd = w16({0});

std::vector<DeltaCase> cases() {
    // The corpus's ANIM-J animations cover well-formed records: columns and
    // rectangles, XOR, centred and wide pictures. 320 pixels: screen offsets
    // are plain byte offsets (row bytes 40).
    return {
        {"OddGroupIsFollowedByAFillByte", 320, 4, 5, 0,
         concat({columns(0, 3, 2), w16({0}), ByteVector(15, 0x0A), {0xEE}, w16({1}), ByteVector(15, 0x0B), {0xEE},
                 kEnd}),
         [] {
             std::vector<ByteAt> out;
             for (std::size_t p = 0; p < 5; ++p)
                 for (std::size_t r = 0; r < 3; ++r) {
                     out.push_back({p, r, 0, 0x0A});
                     out.push_back({p, r, 1, 0x0B});
                 }
             return out;
         }()},
        // 288 pixels sit 2 bytes in from the left of the 40-byte screen, so
        // screen offset 41 is a byte left of the picture's row 1.
        {"BytesLeftOfACentredPictureAreDropped", 288, 4, 1, 0,
         concat({rectangles(0, 2, 2, 1), w16({41}), {0x01, 0x02, 0x03, 0x04}, kEnd}),
         join({column(0, 1, 0, {0x02}), column(0, 2, 0, {0x04})})},
        {"BytesPastTheRowEndAreDropped", 320, 4, 1, 0,
         concat({rectangles(0, 1, 3, 1), w16({38}), {0x38, 0x39, 0x40, 0}, kEnd}), rowBytes(0, 0, 38, {0x38, 0x39})},
        {"RowsBelowThePictureAreDropped", 320, 2, 1, 0,
         concat({columns(0, 3, 1), w16({40}), {0x01, 0x02, 0x03, 0}, kEnd}),
         column(0, 1, 0, {0x01})},
        {"TypeZeroFirstChangesNothing", 320, 4, 1, 0, concat({kEnd, columns(0, 1, 1), w16({0}), {0x77, 0}}), {}},
        {"DataEndingInsideAGroupKeepsTheBytesBeforeIt", 320, 4, 1, 0,
         concat({columns(0, 1, 1), w16({0}), {0x61, 0}, rectangles(0, 1, 4, 1), w16({4}), {0x62, 0x63}}),
         join({column(0, 0, 0, {0x61}), rowBytes(0, 0, 4, {0x62, 0x63})})},
        {"HeaderEndingEarlyStops", 320, 4, 1, 0, concat({columns(0, 1, 1), w16({0}), {0x61, 0}, w16({2, 0, 1})}),
         column(0, 0, 0, {0x61})},
    };
}

TEST(EricGrahamDelta, WritesExactlyTheExpectedBytes) {
    expectChangedBytes(cases(), [](const DeltaCase&, auto data, auto length, auto bitmap) {
        decodeEricGrahamDelta(data, length, bitmap);
    });
}

TEST(EricGrahamDelta, UnknownRecordTypeIsLoggedAndEndsTheFrame) {
    std::vector<std::string> log;
    ScopedLogCapture capture([&](const std::string& line) { log.push_back(line); });
    TestBitmap bitmap(320, 2, 1);
    const ByteVector chunk = concat({columns(0, 1, 1), w16({0}), {0x51, 0}, w16({0x3B, 0}), columns(0, 1, 1),
                                     w16({1}), {0x52, 0}, kEnd});
    decodeEricGrahamDelta(chunk.data(), chunk.size(), bitmap.view());
    EXPECT_EQ(bitmap.changedBytes(), column(0, 0, 0, {0x51}));
    EXPECT_EQ(log, std::vector<std::string>{"ANIMParser: Unknown ANIM-J record type 0x3b"});
}

}  // namespace
}  // namespace velarium
