// Byte vertical delta: runs down byte columns that leave the picture, and
// damaged lists.
#include "core/deltas/DeltaDecoding.h"
#include "tests/core/DeltaTestSupport.h"

namespace velarium {
namespace {

using namespace velarium::testing;

struct ByteVerticalCase {
    const char* name;
    std::size_t width, height, planes;
    bool exclusiveOr;
    ByteVector chunk;
    std::vector<ByteAt> expected;
    std::uint8_t fill = 0;
};

// Damaged and awkward lists; the corpus's ANIM-5 animations cover the
// well-formed ones (runs, XOR, odd widths). 24×4: three byte columns per row.
std::vector<ByteVerticalCase> cases() {
    return {
        {"WritesBelowTheLastRowAreDroppedAndTheirBytesConsumed", 24, 4, 1, false,
         DeltaChunk(1).list(0, {2, 0x03, 0x83, 0xD1, 0xD2, 0xD3, 1, 0x81, 0xE1, 0}).bytes(),
         join({column(0, 3, 0, {0xD1}), column(0, 0, 1, {0xE1})})},
        {"SameRunIsCutAtTheLastRow", 24, 4, 1, false,
         DeltaChunk(1).list(0, {2, 0x02, 0, 5, 0x77, 1, 0x81, 0x66, 0}).bytes(),
         join({column(0, 2, 0, {0x77, 0x77}), column(0, 0, 1, {0x66})})},
        {"TruncatedLiteralStopsTheFrameKeepingEarlierBytes", 24, 4, 2, false,
         DeltaChunk(2).list(1, {1, 0x81, 0x22, 0, 0}).list(0, {1, 0x83, 0x11, 0x12}).bytes(),
         column(0, 0, 0, {0x11, 0x12})},
        {"PointerPastTheChunkStopsAndPointerZeroSkips", 24, 4, 3, false,
         DeltaChunk(3).list(1, {1, 0x81, 0x22, 0, 0}).setEntry(2, 0xFFFF).bytes(), column(1, 0, 0, {0x22})},
        {"TableShorterThanThePlanesChangesNothing", 24, 4, 2, false, {0, 0, 0, 4, 1, 0x81, 0x55}, {}},
    };
}

class ByteVerticalDeltaTest : public ::testing::TestWithParam<ByteVerticalCase> {};

TEST_P(ByteVerticalDeltaTest, WritesExactlyTheExpectedBytes) {
    const ByteVerticalCase& c = GetParam();
    TestBitmap bitmap(c.width, c.height, c.planes, c.fill);
    decodeByteVerticalDelta(c.chunk.data(), c.chunk.size(), bitmap.view(), c.exclusiveOr);
    EXPECT_EQ(bitmap.changedBytes(), inBufferOrder(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, ByteVerticalDeltaTest, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velarium
