// Byte vertical delta: runs down byte columns that leave the picture, and
// damaged lists.
#include "core/deltas/DeltaDecoding.h"
#include "tests/core/DeltaTestSupport.h"

namespace velarium {
namespace {

using namespace velarium::testing;

// Damaged and awkward lists; the corpus's ANIM-5 animations cover the
// well-formed ones (runs, XOR, odd widths). 24×4: three byte columns per row.
std::vector<DeltaCase> cases() {
    return {
        {"WritesBelowTheLastRowAreDroppedAndTheirBytesConsumed", 24, 4, 1, 0,
         DeltaChunk(1).list(0, {2, 0x03, 0x83, 0xD1, 0xD2, 0xD3, 1, 0x81, 0xE1, 0}).bytes(),
         join({column(0, 3, 0, {0xD1}), column(0, 0, 1, {0xE1})})},
        {"SameRunIsCutAtTheLastRow", 24, 4, 1, 0,
         DeltaChunk(1).list(0, {2, 0x02, 0, 5, 0x77, 1, 0x81, 0x66, 0}).bytes(),
         join({column(0, 2, 0, {0x77, 0x77}), column(0, 0, 1, {0x66})})},
        {"TruncatedLiteralStopsTheFrameKeepingEarlierBytes", 24, 4, 2, 0,
         DeltaChunk(2).list(1, {1, 0x81, 0x22, 0, 0}).list(0, {1, 0x83, 0x11, 0x12}).bytes(),
         column(0, 0, 0, {0x11, 0x12})},
        {"PointerPastTheChunkStopsAndPointerZeroSkips", 24, 4, 3, 0,
         DeltaChunk(3).list(1, {1, 0x81, 0x22, 0, 0}).setEntry(2, 0xFFFF).bytes(), column(1, 0, 0, {0x22})},
        {"TableShorterThanThePlanesChangesNothing", 24, 4, 2, 0, {0, 0, 0, 4, 1, 0x81, 0x55}, {}},
    };
}

TEST(ByteVerticalDelta, WritesExactlyTheExpectedBytes) {
    expectChangedBytes(cases(), [](const DeltaCase& c, auto data, auto length, auto bitmap) {
        decodeByteVerticalDelta(data, length, bitmap, c.exclusiveOr);
    });
}

}  // namespace
}  // namespace velarium
