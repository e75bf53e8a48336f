// Key-frame BODY decoding: stored and ByteRun1 rows, mask rows, short data.
#include <gtest/gtest.h>

#include <vector>

#include "core/ANIMBitmapHeader.h"
#include "core/BodyDecoder.h"

namespace velarium {
namespace {

using ByteVector = std::vector<std::uint8_t>;

// Decodes `body` into a fresh bitmap pre-filled with 0xEE (so untouched bytes show).
ByteVector decode(const ByteVector& body, std::size_t width, std::size_t height, std::size_t planes,
                  std::uint8_t compression, std::uint8_t masking = 0) {
    PlanarGeometry g(width, height, planes);
    ByteVector planar(g.bufferSize(), 0xEE);
    decodeBody(body.data(), body.size(), compression, masking, PlanarBitmap(planar.data(), g));
    return planar;
}

// Edge cases and damaged data; the corpus covers well-formed BODYs, among
// them one written as a single run-length stream across rows.
TEST(ByteRun1Body, DecodesRunsAsOneStreamAcrossRows) {
    // 16 pixels wide: 2 bytes per plane row, one plane.
    const struct {
        const char* what;
        ByteVector body;
        std::size_t height;
        ByteVector expected;
    } cases[] = {
        {"no-op control is skipped", {0x80, 0x01, 1, 2, 0x80, 0xFF, 9}, 2, {1, 2, 9, 9}},
        {"repeat crossing a row end continues in the next row", {0xFD, 5}, 2, {5, 5, 5, 5}},
        // Read row at a time, the leftover 0x81 would be a control byte and garble the rest.
        {"leftover literal bytes are never control bytes", {0x04, 1, 2, 3, 4, 0x81, 0xFE, 9}, 4,
         {1, 2, 3, 4, 0x81, 9, 9, 9}},
        {"repeat control without its value repeats zero", {0x01, 1, 2, 0xFF}, 2, {1, 2, 0, 0}},
        {"data ending mid-row keeps what was written", {0x02, 1, 2, 3}, 2, {1, 2, 3, 0xEE}},
    };
    for (const auto& c : cases) EXPECT_EQ(decode(c.body, 16, c.height, 1, kCompressionByteRun1), c.expected) << c.what;
}

TEST(StoredBody, FillsWholeRowsAndStopsWhenDataRunsOut) {
    // 2 planes × 2 rows of 2 bytes; 7 bytes cover three plane rows.
    EXPECT_EQ(decode({1, 2, 3, 4, 5, 6, 7}, 16, 2, 2, kCompressionNone),
              (ByteVector{1, 2, 5, 6, 3, 4, 0xEE, 0xEE}));
}

TEST(MaskedBody, MaskRowsAreReadAndDiscarded) {
    // Each row: plane 0, plane 1, then a mask row of the same width.
    const ByteVector stored = {1, 2, 3, 4, 0xAA, 0xAA, 5, 6, 7, 8, 0xBB, 0xBB};
    const ByteVector expected = {1, 2, 5, 6, 3, 4, 7, 8};
    EXPECT_EQ(decode(stored, 16, 2, 2, kCompressionNone, kMaskingHasMask), expected);

    const ByteVector packed = {0x03, 1, 2, 3, 4, 0xFF, 0xAA, 0x05, 5, 6, 7, 8, 0xBB, 0xBB};
    EXPECT_EQ(decode(packed, 16, 2, 2, kCompressionByteRun1, kMaskingHasMask), expected);

    // Masking 2 (a transparent colour) adds no rows.
    EXPECT_EQ(decode({1, 2, 3, 4, 5, 6, 7, 8}, 16, 2, 2, kCompressionNone, 2), (ByteVector{1, 2, 5, 6, 3, 4, 7, 8}));
}

}  // namespace
}  // namespace velarium
