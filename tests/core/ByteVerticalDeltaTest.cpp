// Byte vertical delta: skips, same and literal runs down byte columns,
// XOR, the column count of odd widths and damaged lists.
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

// 24×4: three byte columns per row.
const ByteVector kThreeOps = {3, 0x81, 0xA1, 0x01, 0x00, 2, 0xC1, 0, 0};

std::vector<ByteVerticalCase> cases() {
    ByteVector everyColumn;  // 39 columns with one literal byte each, then a 40th that is never read
    for (int c = 0; c < 40; ++c) everyColumn.insert(everyColumn.end(), {1, 0x81, 0x39});
    return {
        {"LiteralSkipAndSameRunGoDownTheColumn", 24, 4, 1, false, DeltaChunk(1).list(0, kThreeOps).bytes(),
         join({column(0, 0, 0, {0xA1}), column(0, 2, 0, {0xC1, 0xC1})})},
        {"ExclusiveOrChangesBitsInsteadOfStoring", 24, 4, 1, true, DeltaChunk(1).list(0, kThreeOps).bytes(),
         join({column(0, 0, 0, {0x5E}), column(0, 2, 0, {0x3E, 0x3E})}), 0xFF},
        {"OddWidthHasOneColumnPerPixelByte", 312, 1, 1, false, DeltaChunk(1).list(0, everyColumn).bytes(),
         [] {
             std::vector<ByteAt> out;
             for (std::size_t c = 0; c < 39; ++c) out.push_back({0, 0, c, 0x39});
             return out;
         }()},
        {"WritesBelowTheLastRowAreDroppedAndTheirBytesConsumed", 24, 4, 1, false,
         DeltaChunk(1).list(0, {2, 0x03, 0x83, 0xD1, 0xD2, 0xD3, 1, 0x81, 0xE1, 0}).bytes(),
         join({column(0, 3, 0, {0xD1}), column(0, 0, 1, {0xE1})})},
        {"SameRunIsCutAtTheLastRow", 24, 4, 1, false,
         DeltaChunk(1).list(0, {2, 0x02, 0, 5, 0x77, 1, 0x81, 0x66, 0}).bytes(),
         join({column(0, 2, 0, {0x77, 0x77}), column(0, 0, 1, {0x66})})},
        {"EmptyColumnLeavesItAndTheNextReadsOn", 24, 4, 1, false,
         DeltaChunk(1).list(0, {0, 1, 0x81, 0xF1, 0}).bytes(), column(0, 0, 1, {0xF1})},
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
