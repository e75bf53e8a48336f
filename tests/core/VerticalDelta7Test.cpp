// Vertical delta with separate opcode and data lists: short and long words,
// XOR, the half-width last column of the long form, damaged lists.
#include "core/deltas/DeltaDecoding.h"
#include "tests/core/DeltaTestSupport.h"

namespace velarium {
namespace {

using namespace velarium::testing;

constexpr std::size_t kTableEntries = 16;  // 8 opcode pointers, 8 data pointers
constexpr std::size_t kData = 8;           // entry of plane 0's data list

ByteVector plane0(const ByteVector& ops, const ByteVector& data) {
    return DeltaChunk(kTableEntries).list(0, ops).list(kData, data).bytes();
}

// 32×4 short: two columns. Column 0: two literal words, then a same run of two;
// column 1: skip three rows, one literal.
const ByteVector kShortOps = {2, 0x82, 0x00, 2, 2, 0x03, 0x81};
const ByteVector kShortData = w16({0xA1A2, 0xB1B2, 0xC1C2, 0xD1D2});

std::vector<VerticalCase> cases() {
    return {
        {"ShortLiteralsSameRunsAndSkips", 32, 4, 1, 2, false, plane0(kShortOps, kShortData),
         join({column(0, 0, 0, {0xA1, 0xB1, 0xC1, 0xC1}), column(0, 0, 1, {0xA2, 0xB2, 0xC2, 0xC2}),
               rowBytes(0, 3, 2, {0xD1, 0xD2})})},
        {"ExclusiveOrChangesBitsInsteadOfStoring", 32, 4, 1, 2, true, plane0(kShortOps, kShortData),
         join({column(0, 0, 0, {0x5E, 0x4E, 0x3E, 0x3E}), column(0, 0, 1, {0x5D, 0x4D, 0x3D, 0x3D}),
               rowBytes(0, 3, 2, {0x2E, 0x2D})}),
         0xFF},
        {"SameRunOfZeroRowsStillConsumesItsWord", 32, 4, 1, 2, false,
         plane0({2, 0x00, 0, 0x81, 0}, w16({0x1111, 0x2222})), rowBytes(0, 0, 0, {0x22, 0x22})},
        {"LiteralsBelowTheColumnAreDroppedButConsumed", 32, 4, 1, 2, false,
         plane0({2, 0x03, 0x82, 1, 0x81}, w16({0x1111, 0x2222, 0x3333})),
         join({rowBytes(0, 3, 0, {0x11, 0x11}), rowBytes(0, 0, 2, {0x33, 0x33})})},
        {"LongWordsFillFourByteColumns", 64, 2, 1, 4, false,
         plane0({1, 0x81, 2, 0x01, 0x81}, w32({0xA1A2A3A4, 0xB1B2B3B4})),
         join({rowBytes(0, 0, 0, {0xA1, 0xA2, 0xA3, 0xA4}), rowBytes(0, 1, 4, {0xB1, 0xB2, 0xB3, 0xB4})})},
        // 48 pixels: three 16-bit words per row, so the long form's second
        // column is one word wide; no plane is shifted.
        {"LongLastColumnOfAnOddRowWritesOnlyItsFirstWord", 48, 2, 2, 4, false,
         DeltaChunk(kTableEntries)
             .list(1, {1, 0x81, 1, 0x82})
             .list(kData + 1, w32({0xA1A2A3A4, 0xB1B2B3B4, 0xC1C2C3C4}))
             .bytes(),
         join({rowBytes(1, 0, 0, {0xA1, 0xA2, 0xA3, 0xA4}), rowBytes(1, 0, 4, {0xB1, 0xB2}),
               rowBytes(1, 1, 4, {0xC1, 0xC2})})},
        {"OpcodePointerZeroSkipsThePlane", 32, 4, 2, 2, false,
         DeltaChunk(kTableEntries).list(kData, w16({0x1111})).list(1, {1, 0x81, 0}).list(kData + 1, w16({0x2222}))
             .bytes(),
         rowBytes(1, 0, 0, {0x22, 0x22})},
        {"DataPointerPastTheChunkStops", 32, 4, 2, 2, false,
         DeltaChunk(kTableEntries).list(0, {1, 0x81, 0}).list(kData, w16({0x1111})).list(1, {1, 0x81, 0})
             .setEntry(kData + 1, 0x1000).bytes(),
         rowBytes(0, 0, 0, {0x11, 0x11})},
        {"MissingDataWordStopsKeepingEarlierWrites", 32, 4, 1, 2, false, plane0({1, 0x83}, w16({0x1111, 0x2222})),
         join({column(0, 0, 0, {0x11, 0x22}), column(0, 0, 1, {0x11, 0x22})})},
        {"OpcodesEndingInsideAColumnStop", 32, 4, 1, 2, false,
         DeltaChunk(kTableEntries).list(kData, w16({0x1111})).list(0, {3, 0x81}).bytes(), rowBytes(0, 0, 0, {0x11, 0x11})},
        {"ChunkShorterThanTheTableChangesNothing", 32, 4, 1, 2, false, ByteVector(35, 0x81), {}},
    };
}

class VerticalDelta7Test : public ::testing::TestWithParam<VerticalCase> {};

TEST_P(VerticalDelta7Test, WritesExactlyTheExpectedBytes) {
    const VerticalCase& c = GetParam();
    expectChangedBytes(c, [&](const std::uint8_t* data, std::size_t length, PlanarBitmap bitmap) {
        decodeVerticalDelta7(data, length, bitmap, c.wordSize, c.exclusiveOr);
    });
}

INSTANTIATE_TEST_SUITE_P(Cases, VerticalDelta7Test, ::testing::ValuesIn(cases()), CaseName());

}  // namespace
}  // namespace velarium
