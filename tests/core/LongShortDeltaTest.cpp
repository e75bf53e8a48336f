// Long and short delta: runs, the end of the plane's words and damaged lists.
#include "core/deltas/DeltaDecoding.h"
#include "tests/core/DeltaTestSupport.h"

namespace velarium {
namespace {

using namespace velarium::testing;

// Runs and damaged lists; the corpus's ANIM-2 and ANIM-3 animations cover
// plain word offsets.
std::vector<DeltaCase> cases() {
    return {
        {"RunFromFFFEStartsOneWordOnAndLeavesThePositionAtItsLastWord", 64, 2, 1, 2,
         DeltaChunk(1).list(0, w16({0xFFFE, 3, 0x1111, 0x2222, 0x3333, 1, 0x4444, 0xFFFF})).bytes(),
         join({rowBytes(0, 0, 2, {0x11, 0x11, 0x22, 0x22, 0x33, 0x33}), rowBytes(0, 1, 0, {0x44, 0x44})})},
        {"RunSkipsFFFEMinusItsValue", 64, 1, 1, 2,
         DeltaChunk(1).list(0, w16({0xFFFC, 1, 0x5555, 0xFFFF})).bytes(), rowBytes(0, 0, 6, {0x55, 0x55})},
        {"RunWithCountZeroOnlyMovesThePosition", 64, 2, 1, 2,
         DeltaChunk(1).list(0, w16({0xFFFB, 0, 1, 0x6666, 0xFFFF})).bytes(), rowBytes(0, 1, 0, {0x66, 0x66})},
        // A plane of 6 bytes holds one whole long word; words straddle rows.
        {"OnlyWholeWordsOfThePlaneAreAddressable", 16, 3, 2, 4,
         DeltaChunk(2)
             .list(0, w16({0, 0xA1A2, 0xA3A4, 1, 0xB1B2, 0xB3B4, 0xFFFF}))
             .list(1, w16({0, 0xC1C2, 0xC3C4, 0xFFFF}))
             .bytes(),
         join({rowBytes(0, 0, 0, {0xA1, 0xA2}), rowBytes(0, 1, 0, {0xA3, 0xA4})})},
        {"RunReachingPastTheLastWordStopsAfterTheWordsInside", 32, 1, 1, 2,
         DeltaChunk(1).list(0, w16({0xFFFE, 3, 0x1111, 0x2222, 0x3333})).bytes(), rowBytes(0, 0, 2, {0x11, 0x11})},
        {"PointerZeroSkipsOnlyThatPlane", 32, 1, 2, 2,
         DeltaChunk(2).list(1, w16({1, 0x7777, 0xFFFF})).bytes(), rowBytes(1, 0, 2, {0x77, 0x77})},
        {"PointerPastTheChunkStopsBeforeItsPlane", 32, 1, 3, 2,
         DeltaChunk(3)
             .list(0, w16({0, 0x1111, 0xFFFF}))
             .list(1, w16({0, 0x2222, 0xFFFF}))
             .setEntry(2, 0x100)
             .bytes(),
         join({rowBytes(0, 0, 0, {0x11, 0x11}), rowBytes(1, 0, 0, {0x22, 0x22})})},
        {"TruncatedWordStopsKeepingEarlierWrites", 64, 1, 2, 4,
         DeltaChunk(2).list(0, w16({0, 0x1111, 0x1111, 1, 0x2222})).bytes(),
         rowBytes(0, 0, 0, {0x11, 0x11, 0x11, 0x11})},
        {"TableShorterThanThePlanesChangesNothing", 32, 1, 2, 2, w16({0, 4}), {}},
    };
}

TEST(LongShortDelta, WritesExactlyTheExpectedBytes) {
    expectChangedBytes(cases(), [](const DeltaCase& c, auto data, auto length, auto bitmap) {
        decodeLongShortDelta(data, length, bitmap, c.option);
    });
}

}  // namespace
}  // namespace velarium
