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

TEST(ByteRun1Body, DecodesRunsAsOneStreamAcrossRows) {
    // 16 pixels wide: 2 bytes per plane row; 2 rows, 1 plane unless stated.
    struct Case {
        const char* what;
        ByteVector body;
        std::size_t height, planes;
        ByteVector expected;  // plane 0 rows, then plane 1 rows
    } cases[] = {
        {"per-row literals", {0x01, 1, 2, 0x01, 3, 4}, 2, 1, {1, 2, 3, 4}},
        {"repeat", {0xFF, 7, 0xFF, 8}, 2, 1, {7, 7, 8, 8}},
        {"no-op control is skipped", {0x80, 0x01, 1, 2, 0x80, 0xFF, 9}, 2, 1, {1, 2, 9, 9}},
        {"literal crossing a row end continues in the next row", {0x03, 1, 2, 3, 4}, 2, 1, {1, 2, 3, 4}},
        {"repeat crossing a row end continues in the next row", {0xFD, 5}, 2, 1, {5, 5, 5, 5}},
        // Rows are filled row by row, plane by plane within a row.
        {"stream order is row, then plane", {0x07, 1, 2, 3, 4, 5, 6, 7, 8}, 2, 2, {1, 2, 5, 6, 3, 4, 7, 8}},
        {"repeat control without its value repeats zero", {0x01, 1, 2, 0xFF}, 2, 1, {1, 2, 0, 0}},
        {"data ending mid-row keeps what was written", {0x02, 1, 2, 3}, 2, 1, {1, 2, 3, 0xEE}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decode(c.body, 16, c.height, c.planes, kCompressionByteRun1), c.expected) << c.what;
}

TEST(ByteRun1Body, LeftoverLiteralBytesAreNeverControlBytes) {
    // A 5-byte literal over rows of 2: with row-at-a-time decoding the
    // leftover 0x81 would be read as a control byte and garble the rest.
    const ByteVector body = {0x04, 1, 2, 3, 4, 0x81, 0xFE, 9};
    EXPECT_EQ(decode(body, 16, 4, 1, kCompressionByteRun1), (ByteVector{1, 2, 3, 4, 0x81, 9, 9, 9}));
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

TEST(Body, UnknownCompressionChangesNothing) {
    EXPECT_EQ(decode({1, 2, 3, 4}, 16, 2, 1, 2), ByteVector(4, 0xEE));
}

}  // namespace
}  // namespace velarium
