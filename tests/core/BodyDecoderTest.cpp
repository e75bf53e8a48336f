// Key-frame BODY decoding: stored and ByteRun1 rows, mask rows, short data.
#include <gtest/gtest.h>

#include <vector>

#include "core/ANIMBitmapHeader.h"
#include "core/BodyDecoder.h"

namespace velarium {
namespace {

using ByteVector = std::vector<std::uint8_t>;

// Edge cases and damaged data; the corpus covers well-formed BODYs, among
// them one written as a single run-length stream across rows. Each case
// decodes into a 16-pixel-wide bitmap (2 bytes a plane row) pre-filled with
// 0xEE, so that untouched bytes show.
TEST(BodyDecoder, DecodesRowsAsOneStreamAndDiscardsMaskRows) {
    constexpr auto kByteRun1 = kCompressionByteRun1;
    constexpr auto kStored = kCompressionNone;
    const ByteVector twoRowsTwoPlanes = {1, 2, 5, 6, 3, 4, 7, 8};
    const struct {
        const char* what;
        ByteVector body;
        std::size_t height, planes;
        std::uint8_t compression, masking;
        ByteVector expected;
    } cases[] = {
        {"no-op control is skipped", {0x80, 0x01, 1, 2, 0x80, 0xFF, 9}, 2, 1, kByteRun1, 0, {1, 2, 9, 9}},
        {"repeat crossing a row end continues in the next row", {0xFD, 5}, 2, 1, kByteRun1, 0, {5, 5, 5, 5}},
        // Read row at a time, the leftover 0x81 would be a control byte and garble the rest.
        {"leftover literal bytes are never control bytes", {0x04, 1, 2, 3, 4, 0x81, 0xFE, 9}, 4, 1, kByteRun1, 0,
         {1, 2, 3, 4, 0x81, 9, 9, 9}},
        {"repeat control without its value repeats zero", {0x01, 1, 2, 0xFF}, 2, 1, kByteRun1, 0, {1, 2, 0, 0}},
        {"data ending mid-row keeps what was written", {0x02, 1, 2, 3}, 2, 1, kByteRun1, 0, {1, 2, 3, 0xEE}},
        {"stored data fills whole rows until it runs out", {1, 2, 3, 4, 5, 6, 7}, 2, 2, kStored, 0,
         {1, 2, 5, 6, 3, 4, 0xEE, 0xEE}},
        // Each row: plane 0, plane 1, then a mask row of the same width.
        {"stored mask rows are discarded", {1, 2, 3, 4, 0xAA, 0xAA, 5, 6, 7, 8, 0xBB, 0xBB}, 2, 2, kStored,
         kMaskingHasMask, twoRowsTwoPlanes},
        {"packed mask rows are discarded", {0x03, 1, 2, 3, 4, 0xFF, 0xAA, 0x05, 5, 6, 7, 8, 0xBB, 0xBB}, 2, 2,
         kByteRun1, kMaskingHasMask, twoRowsTwoPlanes},
        {"a transparent colour (masking 2) adds no rows", {1, 2, 3, 4, 5, 6, 7, 8}, 2, 2, kStored, 2, twoRowsTwoPlanes},
    };
    for (const auto& c : cases) {
        const PlanarGeometry g(16, c.height, c.planes);
        ByteVector planar(g.bufferSize(), 0xEE);
        decodeBody(c.body.data(), c.body.size(), c.compression, c.masking, PlanarBitmap(planar.data(), g));
        EXPECT_EQ(planar, c.expected) << c.what;
    }
}

}  // namespace
}  // namespace velarium
